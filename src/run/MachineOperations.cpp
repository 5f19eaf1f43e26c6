#include "run/MachineOperations.h"

#include <cstdio>

#include "protocol/ArgumentParsers.h"
#include "protocol/Dispatcher.h"
#include "common/EventLog.h"
#include "common/StringTable.h"

namespace ostrana::run {

using namespace protocol;  // the parsers

MachineOperations::MachineOperations(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                                     machine::MailboxTiming timing, machine::StatusNotifier* notifier,
                                     std::size_t measureLimit)
    : prompts_(prompts),
      stores_(notifier, measureLimit),
      machine_(std::make_unique<machine::OstranaConnect>(stores_, component, prompts, std::move(modulePath), timing)) {}

MachineOperations::~MachineOperations() { ReleaseMachine(); }

void MachineOperations::ReleaseMachine() {
  if (!machine_) return;
  machine_->StopPolling();
  machine_->Disconnect();
}

bool MachineOperations::ParseConnectionData(const protocol::Argument& argument) {
  const ConnectionParse parse = ParseConnectionFields(argument.text);
  if (parse.refusal == ConnectionRefusal::UnsupportedType) {
    prompts_.ShowMessage(strings::kUnsupportedConnectionType, PromptIcon::None);
    return false;
  }
  if (parse.refusal == ConnectionRefusal::Incomplete) {
    prompts_.ShowMessage(strings::kIncompleteConnectionData, PromptIcon::None);
    return false;
  }
  if (parse.refusal == ConnectionRefusal::BadBaseRow) {
    prompts_.ShowMessage(strings::kInvalidBaseRow, PromptIcon::None);
    return false;
  }
  // A worker keeps the base row it started with: new connection data ends
  // polling first, and the client starts it again, as after a disconnect.
  if (machine_->PollingRunning()) {
    machine_->StopPolling();
    stores_.SetMachineStatus(false);
  }
  machine_->SetConnectionData(parse.data.connectionText, parse.data.connectionNumber, parse.data.baseRow);
  return true;
}

bool MachineOperations::ApplyWcsData(const protocol::Argument& argument) {
  const auto values = ParseWcsFields(argument);
  if (!values) return false;  // refused: nothing is written
  const bool done = machine_->SetWcs(*values);
  std::string written;
  for (double v : *values) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%.4f", written.empty() ? "" : ",", v);
    written += text;
  }
  Log(LogLevel::Audit, "command", "WCS (code 3) sent " + argument.text + " written " + written + ": answer " +
                                      (done ? "1" : "0"));
  return done;
}

bool MachineOperations::HaltMonitoring() {
  const bool done = machine_->HaltMonitoring();
  Log(LogLevel::Audit, "command", std::string("halt monitoring (code 1): answer ") + (done ? "1" : "0"));
  return done;
}

bool MachineOperations::ResumeMonitoring() {
  const bool done = machine_->ResumeMonitoring();
  Log(LogLevel::Audit, "command", std::string("resume monitoring (code 0): answer ") + (done ? "1" : "0"));
  return done;
}

bool MachineOperations::SetAlarm(std::int32_t code) {
  const bool pending = machine_->AlarmPending();
  const bool done = machine_->SetAlarm(code);
  Log(LogLevel::Audit, "command",
      std::string("alarm ") + AlarmName(code) + " (code 2, alarm code " +
          std::to_string(code) + "): answer " + (done ? "1" : "0") + (pending ? " (an alarm is pending)" : ""));
  return done;
}

}  // namespace ostrana::run
