// The client's commands to the NC program, placed in the command row while
// the polling worker is held between its passes.
#include "mailbox/MailboxLayout.h"
#include "machine/OstranaConnect.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

bool OstranaConnect::PauseWorker() {
  mailboxBusy.store(true);  // the running pass skips its accesses and ends quickly
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::int32_t state;
    {
      MutexLock guard(stateLock);
      state = workerState;
    }
    if (state == Halted) {
      mailboxBusy.store(false);
      return true;
    }
    std::this_thread::sleep_for(timing.pausePoll);
    if (std::chrono::steady_clock::now() - start > timing.pauseTimeout) {
      mailboxBusy.store(false);
      return false;
    }
  }
}

template <class Work>
bool OstranaConnect::PauseBracket(Work&& work) {
  // Without a worker there is nothing to pause and nobody to acknowledge:
  // fail at once instead of holding the main thread for the whole timeout.
  if (!worker) return false;
  SetWorkerState(HaltRequested);
  const bool result = PauseWorker() && work();
  SetWorkerState(Running);  // also after a timeout
  return result;
}

bool OstranaConnect::CommandRowIdle() {
  double cell = 0.0;
  return ReadRow(kCommandRow, cell) && IntegerReading(cell) == 0;
}

bool OstranaConnect::HaltMonitoring() {
  return PauseBracket([this] { return CommandRowIdle() && WriteRow(kCommandRow, kCommandHalt); });
}

bool OstranaConnect::ResumeMonitoring() {
  return PauseBracket([this] { return CommandRowIdle() && WriteRow(kCommandRow, kCommandResume); });
}

bool OstranaConnect::SetAlarm(std::int32_t code) {
  if (code < 0 || code > 4) return false;
  // One alarm at a time: a new one is not placed, and the client is told so.
  if (alarmPending.load()) return false;
  return PauseBracket([this, code] {
    if (!CommandRowIdle()) return false;
    if (!WriteRow(kArgumentRow1, code)) {
      alarmPending.store(false);
      return false;
    }
    const bool placed = WriteRow(kCommandRow, kCommandAlarm);
    alarmPending.store(placed);
    return placed;
  });
}

bool OstranaConnect::SetWcs(const std::array<double, 6>& values) {
  return PauseBracket([this, &values] {
    if (!CommandRowIdle()) return false;
    for (std::int32_t i = 0; i < kArgumentCount; ++i)
      if (!WriteRow(kArgumentRow1 + i, values[static_cast<std::size_t>(i)])) return false;
    return WriteRow(kCommandRow, kCommandWcs);
  });
}

bool OstranaConnect::CheckMachineBuffer() {
  // Both rows are read into locals and the ring size is published once, only
  // for a block that passes: a running worker never sees a half-done check,
  // and a block that fails the check never resizes its ring.
  double mark = 0.0, last = 0.0;
  if (!ReadRow(kLayoutMarkRow, mark) || IntegerReading(mark) != kLayoutMark) return false;
  if (!ReadRow(kLastSlotRow, last) || IntegerReading(last) != kExpectedLastSlot) return false;
  lastSlot.store(kExpectedLastSlot);
  return true;
}

}  // namespace ostrana::machine
