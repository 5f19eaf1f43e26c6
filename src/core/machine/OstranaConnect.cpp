// The machine connection (Connect, Disconnect), the start of polling, and
// the client's commands to the NC program, placed in the command row while
// the polling worker is held between its passes.
#include "machine/OstranaConnect.h"

#include <cstdio>

#include "common/EventLog.h"
#include "common/StringTable.h"
#include "dnc/MachineStates.h"
#include "mailbox/MailboxLayout.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

OstranaConnect::OstranaConnect(EventStores& owner, dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                               MailboxTiming timing)
    : prompts_(prompts), lib_(component, prompts, std::move(modulePath)), worker_(owner, lib_, timing) {}

OstranaConnect::~OstranaConnect() {
  // The worker must never outlive what it reads through.
  worker_.Stop();
  lib_.ReleaseAll();
}

bool OstranaConnect::Connect() {
  const std::string text = connectionText_;
  const std::int32_t number = connectionNumber_;
  bool ok = false;
  std::string reason;  // why not, for the platform's log
  lib_.ClearLastFailure();
  dnc::TakeFailureText();
  if (!lib_.HasMachine() && lib_.CreateMachine() != dnc::kOk) {
    prompts_.ShowMessage(strings::kComponentMissing, PromptIcon::Exclamation);
    reason = strings::kComponentMissing;
    if (const std::string why = dnc::TakeFailureText(); !why.empty()) {
      prompts_.Note(why);
      reason = why;
    }
  } else if (lib_.OpenConnection(text, number) && lib_.OpenServices()) {
    // Row 1 itself, whatever the base row: is the table usable? When it is
    // not, the user is told what is wrong with which file.
    double probe = 0.0;
    dnc::TakeFailureText();
    ok = lib_.ReadCell(1, probe);
    if (!ok) {
      const std::string why = dnc::TakeFailureText();
      reason = strings::TableUnusable(kTablePath, why.empty() ? "its row 1 cannot be read" : why);
      lib_.ReportConnectFailure(reason);
    }
  }
  const std::string machine = text + "," + std::to_string(number);
  const std::string where = machine + ", base row " + std::to_string(worker_.BaseRow());
  if (ok) {
    Log(LogLevel::Info, "machine", "connected to " + where + ": " + dnc::MachineStateName(dnc::kStateMachineAvailable),
        LogEvent(EventId::MachineConnected).Machine(machine));
  } else {
    char status[16];
    std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(lib_.LastFailure()));
    const std::string hresult = dnc::Failed(lib_.LastFailure()) ? std::string("HRESULT ") + status : "";
    if (reason.empty()) reason = hresult.empty() ? "a connection step failed" : hresult;
    Log(LogLevel::Warning, "machine", "connect to " + where + " failed" + (hresult.empty() ? "" : " (" + hresult + ")"),
        LogEvent(EventId::MachineConnectFailed).Machine(machine).Reason(reason));
    ForgetWaitingCommand();  // a connection that was up is gone too
    lib_.ReleaseAll();
  }
  return ok;
}

void OstranaConnect::Disconnect() {
  ForgetWaitingCommand();
  if (lib_.HasMachine())
    Log(LogLevel::Info, "machine", "disconnected", LogEvent(EventId::MachineDisconnected).Machine(MachineText()));
  lib_.ReleaseAll();
}

void OstranaConnect::ForgetWaitingCommand() {
  if (const auto command = worker_.TakeWaitingCommand())
    Log(LogLevel::Audit, "command", *command + ": not taken by the NC program before the machine was disconnected",
        LogEvent(EventId::CommandNotTaken)
            .Machine(MachineText())
            .Command(*command)
            .Reason("the machine was disconnected"));
}

bool OstranaConnect::StartPolling() {
  refusal_.clear();
  // Records already in the ring when polling starts are not delivered; how
  // many there were is said (the read slot tells, not the records).
  std::int32_t write = 0;
  if (!worker_.ReadSlotIndex(kWriteSlotRow, write)) return RefuseAccess("the write slot cannot be read");
  std::int32_t before = 0;
  const bool known = worker_.ReadSlotIndex(kReadSlotRow, before);
  const std::int32_t last = worker_.LastSlot();
  const std::int32_t read = write == 0 ? last : write - 1;
  if (!worker_.WriteRow(kReadSlotRow, read)) return RefuseAccess("the read slot cannot be written");
  Log(LogLevel::Audit, "polling",
      "read slot set to " + std::to_string(read) + " at row " +
          std::to_string(std::int64_t{worker_.BaseRow()} + kReadSlotRow) + ": " +
          (known ? std::to_string(PendingCount(before, write, last)) : std::string("an unknown number of")) +
          " records in the ring skipped",
      LogEvent(EventId::ReadSlotSet).Machine(MachineText()).Values(std::to_string(read)).Result(true));
  // Started when none runs; no thread to be had: polling stays off and the client is told 0.
  worker_.NameMachine(MachineText());
  return worker_.Start() || Refuse("no thread for the polling worker");
}

template <class Work>
bool OstranaConnect::HoldingWorker(Work&& work) {
  refusal_.clear();
  // Without a worker there is nothing to pause and nobody to acknowledge:
  // fail at once instead of holding the main thread for the whole timeout.
  if (!worker_.Running()) return Refuse("polling is off");
  const bool held = worker_.Hold();
  const bool result = held ? work() : Refuse("the polling worker did not pause in time");
  worker_.Release();  // also after a timeout
  return result;
}

bool OstranaConnect::Refuse(const std::string& why) {
  if (refusal_.empty()) refusal_ = why;
  return false;
}

bool OstranaConnect::RefuseAccess(const char* what) { return Refuse(std::string(what) + ": " + TakeAccessFailure()); }

bool OstranaConnect::RefuseReading(const char* what, std::int32_t offset, double cell, std::int32_t expected) {
  return Refuse(std::string(what) + " at row " + std::to_string(std::int64_t{worker_.BaseRow()} + offset) + " reads " +
                std::to_string(IntegerReading(cell)) + ", not " + std::to_string(expected));
}

bool OstranaConnect::CommandRowIdle() {
  double cell = 0.0;
  if (!worker_.ReadRow(kCommandRow, cell)) return RefuseAccess("the command row cannot be read");
  const std::int32_t command = IntegerReading(cell);
  if (command == 0)  // the NC program took the last command before the worker saw it
    if (const auto taken = worker_.TakeWaitingCommand())
      Log(LogLevel::Audit, "command", *taken + ": taken by the NC program (command row 0)",
          LogEvent(EventId::CommandTaken).Machine(MachineText()).Command(*taken));
  return command == 0 || Refuse("a command is still waiting on the machine");
}

bool OstranaConnect::PlaceCommand(std::int32_t code, const char* name) {
  if (!worker_.WriteRow(kCommandRow, code)) return RefuseAccess("the command row cannot be written");
  worker_.CommandPlaced(std::string(name) + " (code " + std::to_string(code) + ")");
  return true;
}

bool OstranaConnect::HaltMonitoring() {
  return HoldingWorker([this] { return CommandRowIdle() && PlaceCommand(kCommandHalt, "halt monitoring"); });
}

bool OstranaConnect::ResumeMonitoring() {
  return HoldingWorker([this] { return CommandRowIdle() && PlaceCommand(kCommandResume, "resume monitoring"); });
}

bool OstranaConnect::SetAlarm(std::int32_t code) {
  refusal_.clear();
  if (code < 0 || code > kAlarmCodeLast) return Refuse("no such alarm");
  // One alarm at a time: a new one is not placed, and the client is told so.
  if (worker_.AlarmPending()) return Refuse("an alarm is pending");
  return HoldingWorker([this, code] {
    if (!CommandRowIdle()) return false;
    if (!worker_.WriteRow(kArgumentRow1, code)) {
      worker_.SetAlarmPending(false);
      return RefuseAccess("the argument row cannot be written");
    }
    const bool placed = worker_.WriteRow(kCommandRow, kCommandAlarm);
    worker_.SetAlarmPending(placed);
    return placed || RefuseAccess("the command row cannot be written");
  });
}

bool OstranaConnect::SetWcs(const std::array<double, 6>& values) {
  return HoldingWorker([this, &values] {
    if (!CommandRowIdle()) return false;
    for (std::int32_t i = 0; i < kArgumentCount; ++i)
      if (!worker_.WriteRow(kArgumentRow1 + i, values[static_cast<std::size_t>(i)]))
        return RefuseAccess("an argument row cannot be written");
    return PlaceCommand(kCommandWcs, "WCS");
  });
}

bool OstranaConnect::CheckMachineBuffer() {
  // Both rows are read into locals and the ring size is published once, only
  // for a block that passes: a running worker never sees a half-done check,
  // and a block that fails the check never resizes its ring.
  refusal_.clear();
  double mark = 0.0, last = 0.0;
  if (!worker_.ReadRow(kLayoutMarkRow, mark)) return RefuseAccess("the layout mark cannot be read");
  if (IntegerReading(mark) != kLayoutMark) return RefuseReading("the layout mark", kLayoutMarkRow, mark, kLayoutMark);
  if (!worker_.ReadRow(kLastSlotRow, last)) return RefuseAccess("the last slot cannot be read");
  if (IntegerReading(last) != kExpectedLastSlot)
    return RefuseReading("the last slot", kLastSlotRow, last, kExpectedLastSlot);
  worker_.SetLastSlot(kExpectedLastSlot);
  return true;
}

}  // namespace ostrana::machine
