// One run of the connector, written once for every platform: the request
// operations over the one machine connection (MachineOperations) and the
// session with the client (ClientSession) over the shell's transport. The
// shell gives the transport and a StatusNotifier that carries worker-side
// status changes to the main thread; the faces (window, headless runner)
// hold it as a RunControl.
//
// Threads: built, used and destroyed on the main thread. RefreshStatus is
// what the shell's notifier calls there.
#pragma once

#include <cstdint>
#include <string>

#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "machine/EventStores.h"
#include "run/MachineOperations.h"
#include "run/RunControl.h"
#include "session/ClientSession.h"
#include "session/ClientTransport.h"

namespace ostrana::run {

class ConnectorRun final : public RunControl {
 public:
  // `notifier` is told of every device-status change, on the worker thread
  // or the main thread; it must bring the call to RefreshStatus on the main
  // thread without waiting for it. `transport` reports to Session().
  ConnectorRun(session::ClientTransport& transport, machine::StatusNotifier& notifier, dnc::IComponent& component,
               Prompts& prompts, std::string modulePath, machine::MailboxTiming timing = {});
  // Closes the sockets, then stops a running worker while everything it
  // reaches still exists.
  ~ConnectorRun() override;

  // The view's connection status again (with its sound), the machine as the
  // change said (`machineOnline`): main thread.
  void RefreshStatus(bool machineOnline);

  session::ClientSession& Session() { return session_; }
  // The listen address; "" or "0.0.0.0" is every IPv4 interface.
  void SetListenAddress(const std::string& address) { session_.SetListenAddress(address); }
  // The request side and the stores, for the tests and benchmarks of a
  // whole run; the faces never see them.
  MachineOperations& Operations() { return operations_; }

  // RunControl.
  void SetView(session::StatusView* view) override { session_.SetView(view); }
  void OpenListener() override { session_.OpenListener(); }
  void MoveListener() override { session_.MoveListener(); }
  void CloseSockets() override { session_.CloseSockets(); }
  std::int32_t PortNumber() const override { return session_.PortNumber(); }
  void SetPortNumber(std::int32_t port) override { session_.SetPortNumber(port); }
  std::string ListenAddressText() const override { return session_.ListenAddressText(); }
  bool Listening() const override { return session_.Listening(); }
  int BoundPort() const override { return session_.BoundPort(); }
  bool ClientConnected() const override { return session_.ClientConnected(); }
  bool MachineOnline() const override { return operations_.Stores().ReadDeviceStatus().online; }

 private:
  MachineOperations operations_;
  session::ClientSession session_;
};

}  // namespace ostrana::run
