// The client connections on Qt Network: a QTcpServer and the QTcpSockets it
// accepts, reported to a ClientSession as its events (signals and slots on
// the main thread's event loop, no polling). A socket outlives every handler
// on the stack: one forgotten while a handler runs (a box's nested event loop
// in which its client leaves or is replaced) is deleted once the outermost
// handler has returned, never inside that loop, where Qt would go on to
// write into it when the signal's emission unwinds.
//
// Threads: the main thread only, the one whose event loop runs.
#pragma once

#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <map>
#include <vector>

#include "session/ClientTransport.h"

namespace ostrana::session {
class ClientSession;
}

namespace ostrana::qt {

class QtClientTransport final : public QObject, public session::ClientTransport {
 public:
  explicit QtClientTransport(QObject* parent = nullptr);
  ~QtClientTransport() override;
  // The session told of every event; set once, before listening.
  void SetSession(session::ClientSession* session) { session_ = session; }

  bool Listen(const std::string& address, int port, std::string* error) override;
  void CloseListener() override;
  bool Listening() const override { return server_->isListening(); }
  int BoundPort() const override { return server_->isListening() ? server_->serverPort() : 0; }
  void ResumeAcceptingIn(int ms) override;

  std::int64_t Available(session::ConnectionId id) override;
  std::int64_t Read(session::ConnectionId id, char* buffer, std::size_t max) override;
  void Write(session::ConnectionId id, const std::string& bytes) override;
  std::int64_t Unsent(session::ConnectionId id) override;
  bool Open(session::ConnectionId id) override { return Socket(id) != nullptr; }
  std::string Peer(session::ConnectionId id) override;
  void Abort(session::ConnectionId id, bool report) override;
  void Close(session::ConnectionId id) override;

 private:
  void OnNewConnections();
  QTcpSocket* Socket(session::ConnectionId id) const;
  // Stops reporting a connection; its socket goes once no handler runs.
  void Forget(session::ConnectionId id);
  // Runs a handler of a socket's signal, counting it as running.
  template <typename Handler>
  void Serve(const Handler& handler);
  // Hands the forgotten sockets to Qt for deletion, unless a handler runs.
  void DeleteRetired();

  session::ClientSession* session_ = nullptr;
  QTcpServer* server_;
  QTimer resume_;
  session::ConnectionId nextId_ = 1;
  std::map<session::ConnectionId, QPointer<QTcpSocket>> sockets_;
  int serving_ = 0;                            // handlers of socket signals on the stack
  std::vector<QPointer<QTcpSocket>> retired_;  // forgotten, deleted once serving_ is 0
};

}  // namespace ostrana::qt
