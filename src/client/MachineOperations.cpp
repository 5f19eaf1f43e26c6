#include "client/MachineOperations.h"

#include "client/ArgumentParsers.h"
#include "common/StringTable.h"

namespace ostrana::client {

MachineOperations::MachineOperations(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                                     mailbox::MailboxTiming timing, mailbox::StatusNotifier* notifier,
                                     std::size_t measureLimit)
    : prompts_(prompts),
      stores_(notifier, measureLimit),
      machine_(std::make_unique<mailbox::OstranaConnect>(stores_, component, prompts, std::move(modulePath), timing)) {}

MachineOperations::~MachineOperations() { ReleaseMachine(); }

void MachineOperations::ReleaseMachine() {
  if (!machine_) return;
  machine_->StopPolling();
  machine_->Disconnect();
}

bool MachineOperations::ParseConnectionData(const Argument& argument) {
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
  machine_->connectionText = parse.data.connectionText;
  machine_->connectionNumber = parse.data.connectionNumber;
  machine_->baseRow.store(parse.data.baseRow);
  return true;
}

bool MachineOperations::ApplyWcsData(const Argument& argument) {
  const auto values = ParseWcsFields(argument);
  return values && machine_->SetWcs(*values);
}

}  // namespace ostrana::client
