// Winsock under net/Socket.h.
#include "net/SocketHeaders_win32.h"

#include <mutex>
#include <utility>

#include "common/SystemText.h"
#include "net/Socket.h"
#include "net/SocketSystem.h"

namespace ostrana::net {

static_assert(AF_INET == system::kFamilyIPv4);

namespace {
SOCKET Raw(Handle socket) { return static_cast<SOCKET>(socket); }
}  // namespace

bool Startup() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    WSADATA data;
    started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  });
  return started;
}

int LastError() { return WSAGetLastError(); }

std::string ErrorText(int error) {
  // The ones a user meets, in the words the Linux program uses (not every
  // system has Winsock's message texts); the others as the system says them.
  static const std::pair<int, const char*> known[] = {
      {WSAEADDRINUSE, "The bound address is already in use"},
      {WSAEACCES, "Permission denied"},
      {WSAEADDRNOTAVAIL, "The address is not available"},
      {WSAECONNREFUSED, "Connection refused"},
      {WSAECONNRESET, "Connection reset by peer"},
      {WSAETIMEDOUT, "Connection timed out"},
      {WSAEMFILE, "Too many open sockets"},
      {WSAENOBUFS, "No buffer space available"},
      {WSAENETUNREACH, "Network is unreachable"},
      {WSAEHOSTUNREACH, "No route to host"},
  };
  for (const auto& [code, words] : known)
    if (code == error) return std::string(words) + " (error " + std::to_string(error) + ")";
  return SystemText(static_cast<unsigned long>(error));
}

bool Transient(int error) { return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS; }
bool Refused(int error) { return error == WSAECONNREFUSED; }
void Close(Handle socket) { closesocket(Raw(socket)); }

bool SetNonBlocking(Handle socket) {
  u_long yes = 1;
  return ioctlsocket(Raw(socket), FIONBIO, &yes) == 0;
}

void SetReceiveBuffer(Handle socket, int bytes) {
  ::setsockopt(Raw(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

long Send(Handle socket, const char* data, std::size_t size) {
  return send(Raw(socket), data, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  return recv(Raw(socket), buffer, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
}

int Poll(std::vector<Wait>& waits, int timeoutMs) {
  // WSAPoll takes an invalid socket as an error: those are left out, and a
  // set without one valid socket is a sleep.
  std::vector<WSAPOLLFD> live;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < waits.size(); ++i) {
    if (waits[i].socket == kNoSocket) continue;
    WSAPOLLFD fd{};
    fd.fd = Raw(waits[i].socket);
    fd.events = static_cast<short>((waits[i].read ? POLLRDNORM : 0) | (waits[i].write ? POLLWRNORM : 0));
    live.push_back(fd);
    index.push_back(i);
  }
  for (Wait& w : waits) w.readable = w.writable = false;
  if (live.empty()) {
    Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return 0;
  }
  const int ready = WSAPoll(live.data(), static_cast<ULONG>(live.size()), timeoutMs);
  if (ready <= 0) return ready;
  for (std::size_t k = 0; k < live.size(); ++k) {
    Wait& w = waits[index[k]];
    w.readable = (live[k].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
    w.writable = (live[k].revents & (POLLWRNORM | POLLERR | POLLHUP)) != 0;
  }
  return ready;
}

Handle Accept(Handle listener, bool* shortage) {
  const SOCKET accepted = ::accept(Raw(listener), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) {
    const int error = LastError();
    if (shortage) *shortage = !Transient(error) && error != WSAECONNRESET && error != WSAECONNABORTED;
    return kNoSocket;
  }
  const Handle socket = static_cast<Handle>(accepted);
  SetNonBlocking(socket);
  return socket;
}

bool IsAddress(const std::string& text) {
  Startup();
  in6_addr buffer{};
  return ::inet_pton(AF_INET, text.c_str(), &buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), &buffer) == 1;
}

bool WakePair(Handle pair[2]) {
  // No socketpair on Windows: two ends of a loopback connection.
  int port = 0;
  std::string why;
  const Handle listener = ListenLoopback(0, 1, &port, &why);
  if (listener == kNoSocket) return false;
  pair[1] = Connect("127.0.0.1", static_cast<std::uint16_t>(port), std::chrono::milliseconds(5000), &why);
  std::vector<Wait> waits{{listener, true, false}};
  pair[0] = pair[1] == kNoSocket || Poll(waits, 5000) != 1 ? kNoSocket : Accept(listener);
  Close(listener);
  if (pair[0] == kNoSocket) {
    if (pair[1] != kNoSocket) Close(pair[1]);
    return false;
  }
  return true;
}

namespace system {

Handle OpenStream(int family) {
  const SOCKET socket = ::socket(family, SOCK_STREAM, 0);  // Winsock sockets are not inherited
  return socket == INVALID_SOCKET ? kNoSocket : static_cast<Handle>(socket);
}

bool ListenOnLoopback(Handle listener, std::uint16_t port, int backlog, const char** step) {
  // Windows lets a second socket take a port held with SO_REUSEADDR: hold it alone.
  BOOL exclusive = TRUE;
  ::setsockopt(Raw(listener), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  addr.sin_port = htons(port);
  *step = "bind";
  if (::bind(Raw(listener), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  *step = "listen";
  return ::listen(Raw(listener), backlog) == 0;
}

int LocalPort(Handle socket) {
  sockaddr_in addr{};
  int len = sizeof addr;
  ::getsockname(Raw(socket), reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void SetBlocking(Handle socket) {
  u_long no = 0;
  ioctlsocket(Raw(socket), FIONBIO, &no);
}

int StartConnect(Handle socket, const Address& address) {
  return ::connect(Raw(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                   static_cast<int>(address.bytes.size())) == 0
             ? 0
             : LastError();
}

int ConnectResult(Handle socket) {
  int error = 0;
  int len = sizeof error;
  ::getsockopt(Raw(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &len);
  return error;
}

}  // namespace system
}  // namespace ostrana::net
