// The client's commands to the NC program, placed in the command row while
// the polling worker is held between its passes.
#include "mailbox/MailboxLayout.h"
#include "machine/OstranaConnect.h"

#include "common/EventLog.h"

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
  refusal.clear();
  // Without a worker there is nothing to pause and nobody to acknowledge:
  // fail at once instead of holding the main thread for the whole timeout.
  if (!worker) return Refuse("polling is off");
  SetWorkerState(HaltRequested);
  const bool paused = PauseWorker();
  const bool result = paused ? work() : Refuse("the polling worker did not pause in time");
  SetWorkerState(Running);  // also after a timeout
  return result;
}

bool OstranaConnect::Refuse(const char* why) {
  if (refusal.empty()) refusal = why;
  return false;
}

bool OstranaConnect::CommandRowIdle() {
  double cell = 0.0;
  if (!ReadRow(kCommandRow, cell)) return Refuse("the command row cannot be read");
  const std::int32_t command = IntegerReading(cell);
  if (command == 0 && waitingCommand) {
    // Read for the connector's own purpose: the NC program took the last command.
    Log(LogLevel::Audit, "command", *waitingCommand + ": taken by the NC program (command row 0)");
    waitingCommand.reset();
  }
  return command == 0 || Refuse("a command is still waiting on the machine");
}

bool OstranaConnect::PlaceCommand(std::int32_t code, const char* name) {
  if (!WriteRow(kCommandRow, code)) return Refuse("the command row cannot be written");
  waitingCommand = std::string(name) + " (code " + std::to_string(code) + ")";
  return true;
}

bool OstranaConnect::HaltMonitoring() {
  return PauseBracket([this] { return CommandRowIdle() && PlaceCommand(kCommandHalt, "halt monitoring"); });
}

bool OstranaConnect::ResumeMonitoring() {
  return PauseBracket([this] { return CommandRowIdle() && PlaceCommand(kCommandResume, "resume monitoring"); });
}

bool OstranaConnect::SetAlarm(std::int32_t code) {
  refusal.clear();
  if (code < 0 || code > 4) return Refuse("no such alarm");
  // One alarm at a time: a new one is not placed, and the client is told so.
  if (alarmPending.load()) return Refuse("an alarm is pending");
  return PauseBracket([this, code] {
    if (!CommandRowIdle()) return false;
    if (!WriteRow(kArgumentRow1, code)) {
      alarmPending.store(false);
      return Refuse("the argument row cannot be written");
    }
    const bool placed = WriteRow(kCommandRow, kCommandAlarm);
    alarmPending.store(placed);
    return placed || Refuse("the command row cannot be written");
  });
}

bool OstranaConnect::SetWcs(const std::array<double, 6>& values) {
  return PauseBracket([this, &values] {
    if (!CommandRowIdle()) return false;
    for (std::int32_t i = 0; i < kArgumentCount; ++i)
      if (!WriteRow(kArgumentRow1 + i, values[static_cast<std::size_t>(i)]))
        return Refuse("an argument row cannot be written");
    return PlaceCommand(kCommandWcs, "WCS");
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
