#include "qt/QtConnectorRun.h"

namespace ostrana::qt {

QtConnectorRun::QtConnectorRun(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                               machine::MailboxTiming timing, QObject* parent)
    : QObject(parent),
      run_(std::make_unique<run::ConnectorRun>(transport_, static_cast<machine::StatusNotifier&>(*this), component,
                                               prompts, std::move(modulePath), timing)) {
  transport_.SetSession(&run_->Session());
  // Auto: direct when emitted on the main thread, queued from the worker,
  // which must never wait for the main thread (it may be joining the worker).
  connect(this, &QtConnectorRun::statusChanged, this,
          [this](bool machineOnline) { run_->RefreshStatus(machineOnline); });
}

QtConnectorRun::~QtConnectorRun() {
  run_->CloseSockets();
  transport_.SetSession(nullptr);
  run_.reset();  // ends the worker while everything it reaches still exists
}

void QtConnectorRun::ConnectionStatusChanged(bool machineOnline) { emit statusChanged(machineOnline); }

}  // namespace ostrana::qt
