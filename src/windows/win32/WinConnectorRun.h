// A run of the connector on Windows: the shared run (ConnectorRun) over
// Winsock (WinsockClientTransport), both reporting to one message window.
// Worker-side status changes are posted to that window and refreshed on the
// main thread; a change seen on the main thread is shown at once. What
// QtConnectorRun is on Linux.
//
// Threads: built, used and destroyed on the main thread; the notifier is
// called from any thread and never waits.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "machine/EventStores.h"
#include "run/ConnectorRun.h"
#include "win32/MessageWindow.h"
#include "win32/WinsockClientTransport.h"

namespace ostrana::win32 {

class WinConnectorRun final : private machine::StatusNotifier {
 public:
  WinConnectorRun(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
                  machine::MailboxTiming timing = {});
  // Closes the sockets, then ends the worker while everything it reaches exists.
  ~WinConnectorRun() override;
  WinConnectorRun(const WinConnectorRun&) = delete;
  WinConnectorRun& operator=(const WinConnectorRun&) = delete;

  run::ConnectorRun& Run() { return *run_; }
  // The message window the run's events arrive at (kQuitMessage ends its loop).
  MessageWindow& Window() { return window_; }

 private:
  // StatusNotifier: any thread.
  void ConnectionStatusChanged(bool machineOnline) override;

  const DWORD mainThread_;
  MessageWindow window_;
  WinsockClientTransport transport_;
  std::unique_ptr<run::ConnectorRun> run_;  // after the transport, gone before it
};

}  // namespace ostrana::win32
