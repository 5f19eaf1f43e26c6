#include "run/ConnectorRun.h"

namespace ostrana::run {

ConnectorRun::ConnectorRun(session::ClientTransport& transport, machine::StatusNotifier& notifier,
                           dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                           machine::MailboxTiming timing)
    : operations_(component, prompts, std::move(modulePath), timing, &notifier),
      session_(transport, operations_, prompts) {}

ConnectorRun::~ConnectorRun() {
  session_.CloseSockets();
  operations_.ReleaseMachine();
}

void ConnectorRun::RefreshStatus(bool machineOnline) {
  if (session::StatusView* view = session_.View()) view->UpdateConnectionStatus(true, machineOnline);
}

}  // namespace ostrana::run
