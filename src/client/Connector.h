// The owner of a run's client side and machine side: the request operations
// over the one machine connection and its event stores (MachineOperations),
// the client session (ClientSession) and the network it runs on (Qt Network,
// QtClientTransport). The status window and the headless runner both hold
// one; what it shows goes through a StatusView, what it asks through Prompts.
//
// Threads: lives on the main thread and is used there only. The polling
// worker reaches it through the stores' StatusNotifier, which posts the status
// refresh to the main thread and never waits for it.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>
#include <cstdint>
#include <string>

#include "client/ClientSession.h"
#include "client/MachineOperations.h"
#include "client/QtClientTransport.h"
#include "client/StatusView.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "mailbox/EventStores.h"

namespace ostrana::client {

class Connector final : public QObject, public mailbox::StatusNotifier, public MachineOperations {
 private:
  // First: the session must exist before `portNumber` refers into it.
  QtClientTransport transport_;
  ClientSession session_;

 public:
  Connector(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
            mailbox::MailboxTiming timing = {}, QObject* parent = nullptr);
  ~Connector() override;

  void SetView(StatusView* view) { session_.SetView(view); }

  // Start-up: listen on the port number, with port recovery when that fails.
  void OpenListener() { session_.OpenListener(); }
  // Set Port: rebuild the listener on the port number (recovery when needed),
  // then show the port status.
  void MoveListener() { session_.MoveListener(); }
  // Shutdown: close the client connection and the listener.
  void CloseSockets() { session_.CloseSockets(); }

  // The port number (may be outside 0..65535 when stored so): the session's.
  std::int32_t& portNumber;
  // The local address the port listens on; every IPv4 interface by default.
  void SetListenAddress(const QHostAddress& address);
  QString ListenAddressText() const { return QString::fromStdString(session_.ListenAddressText()); }
  bool Listening() const { return session_.Listening(); }
  // The port actually bound (differs from portNumber for port 0); 0 when not listening.
  int BoundPort() const { return session_.BoundPort(); }
  bool ClientConnected() const { return session_.ClientConnected(); }

  // StatusNotifier: any thread.
  void ConnectionStatusChanged() override;
};

}  // namespace ostrana::client
