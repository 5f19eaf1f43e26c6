// The client's commands to the NC program, placed in the command row while
// the polling worker is held between its passes.
#include "mailbox/MailboxLayout.h"
#include "mailbox/OstranaConnect.h"

namespace ostrana::mailbox {

bool OstranaConnect::PauseWorker() {
  mailboxBusy.store(true);  // the running pass skips its accesses and ends quickly
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    std::int32_t state;
    {
      std::lock_guard guard(stateLock);
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
  if (alarmPending.load()) return true;  // one alarm at a time; the new code is dropped
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
  double cell = 0.0;
  if (mailboxBusy.load() || !ReadRow(kLayoutMarkRow, cell) || IntegerReading(cell) != kLayoutMark)
    return false;
  lastSlot.store(0);
  if (mailboxBusy.load() || !ReadRow(kLastSlotRow, cell)) return false;
  lastSlot.store(IntegerReading(cell));
  return lastSlot.load() == kExpectedLastSlot;
}

}  // namespace ostrana::mailbox
