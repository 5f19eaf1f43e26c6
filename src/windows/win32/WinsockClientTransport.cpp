#include "win32/WinsockClientTransport.h"

#include "common/EventLog.h"
#include "net/Socket.h"
#include "session/ClientSession.h"

namespace ostrana::win32 {
namespace {

constexpr UINT_PTR kResumeTimer = 1;
// The listener's watch: a connection waiting at two ticks in a row with no
// accept between them had its FD_ACCEPT lost (Wine loses one under load).
constexpr UINT_PTR kWatchTimer = 2;
constexpr UINT kWatchMs = 1000;
constexpr long kConnectionEvents = FD_READ | FD_WRITE | FD_CLOSE;
constexpr std::size_t kReceiveBlock = 64 * 1024;
constexpr int kAcceptsPerTurn = 256;

std::string AddressText(const sockaddr_storage& address) {
  char host[INET6_ADDRSTRLEN] = "";
  int port = 0;
  if (address.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
  } else {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&address);
    inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
  }
  return std::string(host) + ":" + std::to_string(port);
}

}  // namespace

std::string ErrorText(int error) { return net::ErrorText(error); }

WinsockClientTransport::WinsockClientTransport(MessageWindow& window) : window_(window) {
  net::Startup();
  window_.On(kSocketMessage, [this](WPARAM w, LPARAM l) {
    OnSocketEvent(static_cast<SOCKET>(w), WSAGETSELECTEVENT(l), WSAGETSELECTERROR(l));
  });
  window_.On(kClosedMessage, [this](WPARAM w, LPARAM) {
    if (session_) session_->OnClosed(static_cast<session::ConnectionId>(w));
  });
  window_.On(WM_TIMER, [this](WPARAM timer, LPARAM) {
    if (timer == kWatchTimer) return WatchListener();
    if (timer != kResumeTimer) return;
    KillTimer(window_.Handle(), kResumeTimer);
    paused_ = false;
    // Accepting again: a connection waiting in the backlog is reported at
    // once, and whatever waits now is taken now, not on a notification.
    if (Listening()) {
      WSAAsyncSelect(listener_, window_.Handle(), kSocketMessage, FD_ACCEPT);
      AcceptAll();
    }
  });
}

WinsockClientTransport::~WinsockClientTransport() {
  CloseListener();
  for (auto& [id, connection] : connections_) closesocket(connection.socket);
  connections_.clear();
}

bool WinsockClientTransport::Listen(const std::string& address, int port, std::string* error) {
  CloseListener();
  sockaddr_storage local{};
  int length = 0;
  if (address.empty() || address == "0.0.0.0") {
    auto* a = reinterpret_cast<sockaddr_in*>(&local);
    a->sin_family = AF_INET;
    a->sin_addr.s_addr = htonl(INADDR_ANY);
    a->sin_port = htons(static_cast<u_short>(port));
    length = sizeof(sockaddr_in);
  } else if (auto* a = reinterpret_cast<sockaddr_in*>(&local); inet_pton(AF_INET, address.c_str(), &a->sin_addr) == 1) {
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<u_short>(port));
    length = sizeof(sockaddr_in);
  } else if (auto* b = reinterpret_cast<sockaddr_in6*>(&local);
             inet_pton(AF_INET6, address.c_str(), &b->sin6_addr) == 1) {
    b->sin6_family = AF_INET6;
    b->sin6_port = htons(static_cast<u_short>(port));
    length = sizeof(sockaddr_in6);
  } else {
    if (error) *error = "not an address: " + address;
    return false;
  }
  SOCKET s = socket(local.ss_family, SOCK_STREAM, IPPROTO_TCP);
  auto fail = [&] {
    if (error) *error = ErrorText(WSAGetLastError());
    if (s != INVALID_SOCKET) closesocket(s);
    return false;
  };
  if (s == INVALID_SOCKET) return fail();
  // Without it another program could bind the same port beside ours.
  BOOL exclusive = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  if (bind(s, reinterpret_cast<sockaddr*>(&local), length) != 0) return fail();
  if (listen(s, SOMAXCONN) != 0) return fail();
  sockaddr_storage bound{};
  int boundLength = sizeof bound;
  getsockname(s, reinterpret_cast<sockaddr*>(&bound), &boundLength);
  boundPort_ = ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port
                                                 : reinterpret_cast<sockaddr_in*>(&bound)->sin_port);
  if (WSAAsyncSelect(s, window_.Handle(), kSocketMessage, FD_ACCEPT) != 0) return fail();
  listener_ = s;
  paused_ = false;
  waitingAtLastTick_ = false;
  SetTimer(window_.Handle(), kWatchTimer, kWatchMs, nullptr);
  return true;
}

void WinsockClientTransport::CloseListener() {
  KillTimer(window_.Handle(), kResumeTimer);
  KillTimer(window_.Handle(), kWatchTimer);
  if (listener_ == INVALID_SOCKET) return;
  closesocket(listener_);
  listener_ = INVALID_SOCKET;
  boundPort_ = 0;
}

void WinsockClientTransport::ResumeAcceptingIn(int ms) {
  if (!Listening()) return;
  WSAAsyncSelect(listener_, window_.Handle(), kSocketMessage, 0);  // paused until the timer
  paused_ = true;
  SetTimer(window_.Handle(), kResumeTimer, static_cast<UINT>(ms), nullptr);
}

session::ConnectionId WinsockClientTransport::IdOf(SOCKET socket) const {
  for (const auto& [id, connection] : connections_)
    if (connection.socket == socket) return id;
  return 0;
}

void WinsockClientTransport::OnSocketEvent(SOCKET socket, int event, int) {
  if (socket == listener_) {
    if (event == FD_ACCEPT) AcceptAll();
    return;
  }
  // Events of a socket already closed may still be queued: they name no connection.
  const session::ConnectionId id = IdOf(socket);
  if (!id) return;
  Connection& connection = connections_[id];
  if (event == FD_WRITE) {
    Flush(connection);
    return;
  }
  // A closed socket's number is given to the next one accepted, and the
  // closed one's events may still be queued: an end is believed when the
  // socket's own read says so (the peer's end or an error after what it
  // sent), not from the event alone, or a stale FD_CLOSE would end a new client.
  const bool ended = !Receive(id, connection);
  if (!connection.input.empty() && session_) session_->OnReadable(id);
  if (ended && connections_.count(id)) {
    Forget(id);
    if (session_) session_->OnClosed(id);
    AcceptAll();  // the next client may be waiting already, its notification not yet come (or lost)
  }
}

bool WinsockClientTransport::ConnectionWaiting() const {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(listener_, &readable);
  timeval now{0, 0};
  return select(0, &readable, nullptr, nullptr, &now) == 1;
}

void WinsockClientTransport::WatchListener() {
  if (!Listening() || paused_) {
    waitingAtLastTick_ = false;
    return;
  }
  const bool waiting = ConnectionWaiting();
  // Waiting at one tick may be a notification still on its way; waiting at
  // two with nothing accepted between is one that will not come.
  const bool missed = waiting && waitingAtLastTick_ && acceptedSinceTick_ == 0;
  waitingAtLastTick_ = waiting;
  acceptedSinceTick_ = 0;
  if (!missed) return;
  const int accepted = AcceptAll();
  waitingAtLastTick_ = false;
  if (accepted > 0)  // not when those waiting had all left already
    Log(LogLevel::Warning, "port",
        "the listener missed a notification: accepted " + std::to_string(accepted) + " waiting",
        LogEvent(EventId::ListenerMissed).Values(std::to_string(accepted)));
}

int WinsockClientTransport::AcceptAll() {
  int accepted = 0;
  // Until the backlog is empty; bounded, so a flood of clients that leave
  // at once cannot hold the event loop (the watch takes the rest).
  for (int attempt = 0; attempt < kAcceptsPerTurn; ++attempt) {
    if (!Listening() || paused_) return accepted;  // the session may have closed or paused the listener meanwhile
    sockaddr_storage peer{};
    int length = sizeof peer;
    SOCKET s = accept(listener_, reinterpret_cast<sockaddr*>(&peer), &length);
    if (s == INVALID_SOCKET) {
      const int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return accepted;
      // A client that left before it was accepted (Wine says "not connected"
      // where Windows says "reset"): that one is gone, the next may wait.
      if (error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENOTCONN) continue;
      if (session_) session_->OnAcceptFailed(ErrorText(error));
      return accepted;
    }
    WSAAsyncSelect(s, window_.Handle(), kSocketMessage, kConnectionEvents);
    BOOL noDelay = TRUE;  // short answers go out at once
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    const session::ConnectionId id = nextId_++;
    connections_[id] = Connection{s, {}, {}, AddressText(peer)};
    ++accepted;
    ++acceptedSinceTick_;
    if (session_) session_->OnAccepted(id);
  }
  return accepted;
}

bool WinsockClientTransport::Receive(session::ConnectionId, Connection& connection) {
  char block[kReceiveBlock];
  for (;;) {
    const int n = recv(connection.socket, block, sizeof block, 0);
    if (n > 0) {
      connection.input.append(block, static_cast<std::size_t>(n));
      if (static_cast<std::size_t>(n) < sizeof block) return true;
      continue;
    }
    if (n == 0) return false;
    return WSAGetLastError() == WSAEWOULDBLOCK;
  }
}

void WinsockClientTransport::Flush(Connection& connection) {
  while (!connection.output.empty()) {
    const int n = send(connection.socket, connection.output.data(),
                       static_cast<int>(std::min<std::size_t>(connection.output.size(), 1 << 20)), 0);
    if (n <= 0) return;  // would block (FD_WRITE comes when there is room) or an error (FD_CLOSE comes)
    connection.output.erase(0, static_cast<std::size_t>(n));
  }
}

std::int64_t WinsockClientTransport::Available(session::ConnectionId id) {
  const auto it = connections_.find(id);
  return it == connections_.end() ? 0 : static_cast<std::int64_t>(it->second.input.size());
}

std::int64_t WinsockClientTransport::Read(session::ConnectionId id, char* buffer, std::size_t max) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return -1;
  std::string& input = it->second.input;
  const std::size_t n = std::min(max, input.size());
  input.copy(buffer, n);
  input.erase(0, n);
  return static_cast<std::int64_t>(n);
}

void WinsockClientTransport::Write(session::ConnectionId id, const std::string& bytes) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  it->second.output += bytes;
  Flush(it->second);  // one send now, not on a later turn of the event loop
}

std::int64_t WinsockClientTransport::Unsent(session::ConnectionId id) {
  const auto it = connections_.find(id);
  return it == connections_.end() ? 0 : static_cast<std::int64_t>(it->second.output.size());
}

std::string WinsockClientTransport::Peer(session::ConnectionId id) {
  const auto it = connections_.find(id);
  return it == connections_.end() ? std::string() : it->second.peer;
}

void WinsockClientTransport::Forget(session::ConnectionId id) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  WSAAsyncSelect(it->second.socket, window_.Handle(), 0, 0);
  closesocket(it->second.socket);
  connections_.erase(it);
}

void WinsockClientTransport::Abort(session::ConnectionId id, bool report) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  if (report) {
    // A client that leaves its answers unread: a reset, not an orderly end.
    linger reset{1, 0};
    setsockopt(it->second.socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  } else {
    shutdown(it->second.socket, SD_SEND);  // a replaced client: closed in order, as on Linux
  }
  Forget(id);
  // Reported as any close is, from the event loop: the session is in the middle of a handler.
  if (report) window_.Post(kClosedMessage, static_cast<WPARAM>(id));
}

void WinsockClientTransport::Close(session::ConnectionId id) {
  const auto it = connections_.find(id);
  if (it == connections_.end()) return;
  Flush(it->second);  // what the peer can take of the last answers, then an orderly end
  shutdown(it->second.socket, SD_SEND);
  Forget(id);
}

}  // namespace ostrana::win32
