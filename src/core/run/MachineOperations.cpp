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
      machine_(std::make_unique<machine::OstranaConnect>(stores_, component, prompts, std::move(modulePath), timing)) {
  stores_.DescribeWith(protocol::MeasureLine, [](std::int32_t code) { return ActionLine(code); });
}

MachineOperations::~MachineOperations() { ReleaseMachine(); }

void MachineOperations::ReleaseMachine() {
  machine_->StopPolling();
  machine_->Disconnect();
  stores_.LogWhatIsLeft();  // the worker is gone: nothing is pushed meanwhile
}

bool MachineOperations::ParseConnectionData(const protocol::Argument& argument) {
  const ConnectionParse parse = ParseConnectionFields(argument.text);
  const char* refused = parse.refusal == ConnectionRefusal::UnsupportedType ? strings::kUnsupportedConnectionType
                        : parse.refusal == ConnectionRefusal::Incomplete    ? strings::kIncompleteConnectionData
                        : parse.refusal == ConnectionRefusal::BadBaseRow    ? strings::kInvalidBaseRow
                                                                            : nullptr;
  if (refused) {
    Log(LogLevel::Info, "request",
        "Machine Connect from " + Client() + " refused for its data '" + argument.text + "': " + refused,
        LogEvent(EventId::RequestDataRefused)
            .Client(Client())
            .Command("Machine Connect")
            .Values(argument.text)
            .Result(false)
            .Reason(refused));
    prompts_.ShowMessage(refused, PromptIcon::None);
    return false;
  }
  // A worker keeps the base row it started with: other connection data ends
  // polling first, and the client starts it again. The same data (a client
  // that reconnects after "Machine Disconnect") keeps it: it regains the
  // mailbox once the connection is back.
  if (machine_->PollingRunning() &&
      !machine_->SameConnectionData(parse.data.connectionText, parse.data.connectionNumber, parse.data.baseRow)) {
    machine_->StopPolling();
    stores_.SetMachineStatus(false);
  }
  machine_->SetConnectionData(parse.data.connectionText, parse.data.connectionNumber, parse.data.baseRow);
  return true;
}

void MachineOperations::SetClientAttached(bool attached, const std::string& peer) {
  client_ = attached ? peer : std::string();
  stores_.SetClientAttached(attached);
}

std::string MachineOperations::Client() const { return client_.empty() ? "no client" : client_; }

void MachineOperations::Audit(const std::string& command, bool done, const std::string& values) {
  const std::string refusal = done ? std::string() : machine_->Refusal();
  Log(LogLevel::Audit, "command",
      command + (values.empty() ? "" : " " + values) + " for " + Client() + ": " +
          (done ? std::string("written, answer 1") : "not written (" + refusal + "), answer 0"),
      LogEvent(done ? EventId::CommandWritten : EventId::CommandNotWritten)
          .Client(Client())
          .Machine(machine_->MachineText())
          .Command(command)
          .Values(values)
          .Result(done)
          .Reason(refusal));
}

bool MachineOperations::Refused(const char* request, bool done) {
  if (!done)
    Log(LogLevel::Warning, "request", std::string(request) + " from " + Client() + " refused: " + machine_->Refusal(),
        LogEvent(EventId::RequestRefused)
            .Client(Client())
            .Machine(machine_->MachineText())
            .Command(request)
            .Result(false)
            .Reason(machine_->Refusal()));
  return done;
}

bool MachineOperations::StartPolling() { return Refused("Start Machine Polling", machine_->StartPolling()); }

bool MachineOperations::CheckMachineBuffer() { return Refused("Check Machine Buffer", machine_->CheckMachineBuffer()); }

bool MachineOperations::ApplyWcsData(const protocol::Argument& argument) {
  const auto values = ParseWcsFields(argument);
  if (!values) {  // refused: nothing is written
    const char* why = "not six upper-case hexadecimal fields of at most 8 digits ended by a line feed";
    Log(LogLevel::Info, "request", "Set WCS from " + Client() + " refused for its data '" + argument.text + "': " + why,
        LogEvent(EventId::RequestDataRefused)
            .Client(Client())
            .Command("Set WCS")
            .Values(argument.text)
            .Result(false)
            .Reason(why));
    return false;
  }
  const bool done = machine_->SetWcs(*values);
  std::string written;
  for (double v : *values) {
    char text[32];
    std::snprintf(text, sizeof text, "%s%.4f", written.empty() ? "" : ",", v);
    written += text;
  }
  Audit("WCS (code 3)", done, "sent " + argument.text + " as " + written);
  return done;
}

bool MachineOperations::HaltMonitoring() {
  const bool done = machine_->HaltMonitoring();
  Audit("halt monitoring (code 1)", done);
  return done;
}

bool MachineOperations::ResumeMonitoring() {
  const bool done = machine_->ResumeMonitoring();
  Audit("resume monitoring (code 0)", done);
  return done;
}

bool MachineOperations::SetAlarm(std::int32_t code) {
  const bool done = machine_->SetAlarm(code);
  Audit(std::string("alarm ") + AlarmName(code) + " (code 2, alarm code " + std::to_string(code) + ")", done);
  return done;
}

}  // namespace ostrana::run
