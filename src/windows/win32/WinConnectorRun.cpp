#include "win32/WinConnectorRun.h"

#include <utility>

namespace ostrana::win32 {

WinConnectorRun::WinConnectorRun(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                                 machine::MailboxTiming timing)
    : mainThread_(GetCurrentThreadId()),
      transport_(window_),
      run_(std::make_unique<run::ConnectorRun>(transport_, static_cast<machine::StatusNotifier&>(*this), component,
                                               prompts, std::move(modulePath), timing)) {
  transport_.SetSession(&run_->Session());
  // The change carries the machine's state: two changes before the loop
  // turns are each shown and sounded as themselves, in order.
  window_.On(kStatusMessage, [this](WPARAM online, LPARAM) {
    if (run_) run_->RefreshStatus(online != 0);
  });
}

WinConnectorRun::~WinConnectorRun() {
  run_->CloseSockets();
  transport_.SetSession(nullptr);
  run_.reset();  // ends the worker; run_ is null while it goes, so a late status is dropped
}

void WinConnectorRun::ConnectionStatusChanged(bool machineOnline) {
  // The worker never waits for the main thread (which may be joining it).
  if (GetCurrentThreadId() == mainThread_) {
    if (run_) run_->RefreshStatus(machineOnline);
  } else
    window_.Post(kStatusMessage, machineOnline ? 1 : 0);
}

}  // namespace ostrana::win32
