// The owner of a run: the listening socket and the one client connection,
// the event stores, the machine connection and the request operations the
// dispatcher reaches. The status window and the headless runner both hold
// one; what it shows goes through a StatusView, what it asks through Prompts.
//
// Threads: lives on the main thread and is used there only. The polling
// worker reaches it through the stores' StatusNotifier, which posts the status
// refresh to the main thread and never waits for it.
#pragma once

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "client/MachineOperations.h"
#include "client/StatusView.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "mailbox/EventStores.h"
#include "mailbox/OstranaConnect.h"

namespace ostrana::client {

// A client that leaves this much of its answers unread is dropped: it is
// not reading, and its replies would otherwise pile up without limit.
inline constexpr qint64 kMaxUnreadReplies = 1 << 20;

// After a failed accept the listener rests this long, then accepts again.
inline constexpr int kAcceptRetryMs = 250;

// Ports the CAM client finds by itself; port recovery scans them.
inline constexpr int kFirstDiscoverablePort = 50000;
inline constexpr int kLastDiscoverablePort = 50100;
// One receive hands at most this many bytes to the dispatcher.
inline constexpr int kMaxChunk = 255;

class Connector final : public QObject, public mailbox::StatusNotifier, public MachineOperations {
 public:
  Connector(dnc::IComponent& component, Prompts& prompts, std::string modulePath,
            mailbox::MailboxTiming timing = {}, QObject* parent = nullptr);
  ~Connector() override;

  void SetView(StatusView* view) { view_ = view; }

  // Start-up: listen on the port number, with port recovery when that fails.
  void OpenListener();
  // Set Port: rebuild the listener on the port number (recovery when needed),
  // then show the port status.
  void MoveListener();
  // Shutdown: close the client connection and the listener.
  void CloseSockets();

  std::int32_t portNumber = 50000;  // may be outside 0..65535 when stored so
  // The local address the port listens on: all IPv4 interfaces unless the
  // run keeps it to one (127.0.0.1 keeps it on this computer). Port recovery
  // keeps it too.
  QHostAddress listenAddress{QHostAddress::AnyIPv4};
  // "all interfaces" or the address, for messages.
  QString ListenAddressText() const;
  bool Listening() const { return listening_; }
  // The port actually bound (differs from portNumber for port 0); 0 when not listening.
  int BoundPort() const;
  bool ClientConnected() const;

  // StatusNotifier: any thread.
  void ConnectionStatusChanged() override;

 private:
  bool ListenOn(std::int64_t port);
  // Listens on the port number; when that fails, tells the view why and runs port recovery.
  void ListenOrRecover();
  void RecoverPort();
  void OnAccept();
  void OnAcceptError();
  void OnReceive();
  void OnClientGone(QTcpSocket* socket);
  void DropClient();
  static std::string PeerText(const QTcpSocket* socket);

  Prompts& prompts_;
  StatusView* view_ = nullptr;
  QTcpServer* server_;
  QPointer<QTcpSocket> client_;
  std::string clientPeer_;  // the client's address and port, for the log
  bool listening_ = false;
  QString listenError_;  // the system's reason of the last failed listen
  QTimer acceptRetry_;
  bool acceptFailing_ = false;  // the last accept failed; 1024 has been shown
};

}  // namespace ostrana::client
