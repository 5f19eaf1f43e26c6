// The connector's side of the one client connection, written once for every
// network stack: the listener on the port number with port recovery, the
// greeting, request chunks of at most 255 bytes with one reply each, a second
// client replacing the first, the client leaving (gracefully or by a reset),
// a client that stops reading, and the status changes the user sees. The
// network itself is a ClientTransport. Standard C++ only.
//
// Threads: the session's thread (the main thread) only; the transport reports
// its events there. A prompt may run a nested event loop, so a handler can be
// entered again before the one that showed the box returns: every handler
// checks afterwards that the connection it served is still the client.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "session/ClientTransport.h"
#include "protocol/RequestOperations.h"
#include "session/StatusView.h"
#include "common/Prompts.h"

namespace ostrana::session {

// A client that leaves this much of its answers unread is dropped: it is not
// reading, and its replies would otherwise pile up without limit.
inline constexpr std::int64_t kMaxUnreadReplies = 1 << 20;
// After a failed accept the listener rests this long, then accepts again.
inline constexpr int kAcceptRetryMs = 250;
// Ports the CAM client finds by itself; port recovery scans them.
inline constexpr int kFirstDiscoverablePort = 50000;
inline constexpr int kLastDiscoverablePort = 50100;
// One receive hands at most this many bytes to the dispatcher.
inline constexpr int kMaxChunk = 255;

// "all interfaces" for "" or "0.0.0.0", else the address: for messages.
std::string ListenAddressText(const std::string& address);

class ClientSession {
 public:
  ClientSession(ClientTransport& transport, protocol::RequestOperations& operations, Prompts& prompts);

  void SetView(StatusView* view) { view_ = view; }
  StatusView* View() const { return view_; }

  // Start-up: listen on the port number, with port recovery when that fails.
  void OpenListener();
  // Set Port: rebuild the listener on the port number (recovery when needed),
  // then show the port status.
  void MoveListener();
  // Shutdown: close the client connection and the listener.
  void CloseSockets();

  // The port number; may be outside 0..65535 when stored so. Port recovery changes it.
  std::int32_t PortNumber() const { return portNumber_; }
  void SetPortNumber(std::int32_t port) { portNumber_ = port; }
  // The local address the port listens on; "" (or "0.0.0.0") is every IPv4
  // interface. Port recovery keeps it.
  void SetListenAddress(const std::string& address) { listenAddress_ = address; }
  // "all interfaces" or the address, for messages.
  std::string ListenAddressText() const { return session::ListenAddressText(listenAddress_); }
  bool Listening() const { return listening_; }
  // Told the port bound each time the listener starts (may be empty).
  void WhenListening(std::function<void(int port)> told) { whenListening_ = std::move(told); }
  // The port actually bound (differs from portNumber for port 0); 0 when not listening.
  int BoundPort() const { return listening_ ? transport_.BoundPort() : 0; }
  bool ClientConnected() const;

  // The transport's events.
  void OnAccepted(ConnectionId id);
  void OnAcceptFailed(const std::string& reason);
  void OnReadable(ConnectionId id);
  void OnClosed(ConnectionId id);

 private:
  bool ListenOn(std::int64_t port);
  // Listens on the port number; when that fails, tells the view why and runs port recovery.
  void ListenOrRecover();
  void RecoverPort();
  void DropClient(const std::string& newcomer);  // the new client's address:port

  ClientTransport& transport_;
  protocol::RequestOperations& operations_;
  std::int32_t portNumber_ = 50000;
  std::string listenAddress_;
  Prompts& prompts_;
  StatusView* view_ = nullptr;
  ConnectionId client_ = 0;
  std::string clientPeer_;  // the client's address and port, for the log
  bool listening_ = false;
  std::string listenError_;     // the system's reason of the last failed listen
  bool acceptFailing_ = false;  // the last accept failed; 1024 has been shown
  std::function<void(int port)> whenListening_;
};

}  // namespace ostrana::session
