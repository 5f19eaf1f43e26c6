// The client connections on Winsock: a listening socket and the sockets it
// accepts, all non-blocking and reported through WSAAsyncSelect to the
// shell's message window, so the session's handlers run on the main thread
// in its event loop, as they do over Qt Network on Linux. Received bytes
// wait in a buffer of the connection until the session reads them; bytes
// the peer has not taken yet wait in another, sent on FD_WRITE. Liveness
// never rests on one FD_ACCEPT: every notification, a client's end and a
// watch each second take all that waits.
//
// Threads: the main thread only.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

#include <map>
#include <string>

#include "session/ClientTransport.h"
#include "win32/MessageWindow.h"

namespace ostrana::session {
class ClientSession;
}

namespace ostrana::win32 {

class WinsockClientTransport final : public session::ClientTransport {
 public:
  explicit WinsockClientTransport(MessageWindow& window);
  ~WinsockClientTransport() override;
  // The session told of every event; set once, before listening.
  void SetSession(session::ClientSession* session) { session_ = session; }

  bool Listen(const std::string& address, int port, std::string* error) override;
  void CloseListener() override;
  bool Listening() const override { return listener_ != INVALID_SOCKET; }
  int BoundPort() const override { return Listening() ? boundPort_ : 0; }
  void ResumeAcceptingIn(int ms) override;

  std::int64_t Available(session::ConnectionId id) override;
  std::int64_t Read(session::ConnectionId id, char* buffer, std::size_t max) override;
  void Write(session::ConnectionId id, const std::string& bytes) override;
  std::int64_t Unsent(session::ConnectionId id) override;
  bool Open(session::ConnectionId id) override { return connections_.count(id) != 0; }
  std::string Peer(session::ConnectionId id) override;
  void Abort(session::ConnectionId id, bool report) override;
  void Close(session::ConnectionId id) override;

 private:
  struct Connection {
    SOCKET socket = INVALID_SOCKET;
    std::string input;   // received, not yet read by the session
    std::string output;  // written, not yet taken by the peer
    std::string peer;
  };
  void OnSocketEvent(SOCKET socket, int event, int error);  // `error` is not trusted: the read says
  // Accepts every connection waiting; returns how many it took.
  int AcceptAll();
  bool ConnectionWaiting() const;
  // Each second: a connection left waiting is taken, and said.
  void WatchListener();
  // Moves what the kernel holds into the connection's buffer; false once the peer has ended.
  bool Receive(session::ConnectionId id, Connection& connection);
  void Flush(Connection& connection);
  void Forget(session::ConnectionId id);
  session::ConnectionId IdOf(SOCKET socket) const;

  MessageWindow& window_;
  session::ClientSession* session_ = nullptr;
  SOCKET listener_ = INVALID_SOCKET;
  int boundPort_ = 0;
  bool paused_ = false;  // after a failed accept, until the resume timer
  bool waitingAtLastTick_ = false;
  int acceptedSinceTick_ = 0;
  session::ConnectionId nextId_ = 1;
  std::map<session::ConnectionId, Connection> connections_;
};

// The system's text for a Winsock or Win32 error number.
std::string ErrorText(int error);

}  // namespace ostrana::win32
