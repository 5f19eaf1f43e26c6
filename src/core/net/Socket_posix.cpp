// POSIX sockets under net/Socket.h.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <mutex>

#include "net/Socket.h"
#include "net/SocketHeaders_posix.h"
#include "net/SocketSystem.h"

namespace ostrana::net {

static_assert(AF_INET == system::kFamilyIPv4);

bool Startup() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
  return true;
}

int LastError() { return errno; }
std::string ErrorText(int error) { return std::strerror(error); }
bool Transient(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == EINPROGRESS; }
bool Refused(int error) { return error == ECONNREFUSED; }
void Close(Handle socket) { ::close(static_cast<int>(socket)); }

bool SetNonBlocking(Handle socket) {
  const int flags = ::fcntl(static_cast<int>(socket), F_GETFL);
  return flags >= 0 && ::fcntl(static_cast<int>(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

void SetReceiveBuffer(Handle socket, int bytes) {
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_RCVBUF, &bytes, sizeof bytes);
}

long Send(Handle socket, const char* data, std::size_t size) {
  return ::send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
}
long Receive(Handle socket, char* buffer, std::size_t size) {
  return ::recv(static_cast<int>(socket), buffer, size, 0);
}

int Poll(std::vector<Wait>& waits, int timeoutMs) {
  std::vector<pollfd> fds;
  for (const Wait& w : waits)
    fds.push_back({w.socket == kNoSocket ? -1 : static_cast<int>(w.socket),
                   static_cast<short>((w.read ? POLLIN : 0) | (w.write ? POLLOUT : 0)), 0});
  int ready;
  do ready = ::poll(fds.data(), fds.size(), timeoutMs);
  while (ready < 0 && errno == EINTR);
  for (std::size_t i = 0; i < waits.size(); ++i) {
    waits[i].readable = ready > 0 && (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) != 0;
    waits[i].writable = ready > 0 && (fds[i].revents & (POLLOUT | POLLHUP | POLLERR)) != 0;
  }
  return ready;
}

Handle Accept(Handle listener, bool* shortage) {
  const int accepted = ::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (accepted < 0) {
    const int error = LastError();
    if (shortage) *shortage = !Transient(error) && error != ECONNABORTED;
    return kNoSocket;
  }
  SetNonBlocking(accepted);
  return accepted;
}

bool IsAddress(const std::string& text) {
  in6_addr buffer{};
  return ::inet_pton(AF_INET, text.c_str(), &buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), &buffer) == 1;
}

bool WakePair(Handle pair[2]) {
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  pair[0] = fds[0];
  pair[1] = fds[1];
  return true;
}

namespace system {

Handle OpenStream(int family) {
  const int socket = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return socket < 0 ? kNoSocket : socket;
}

bool ListenOnLoopback(Handle listener, std::uint16_t port, int backlog, const char** step) {
  const int raw = static_cast<int>(listener);
  int yes = 1;
  ::setsockopt(raw, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  addr.sin_port = htons(port);
  *step = "bind";
  if (::bind(raw, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
  *step = "listen";
  return ::listen(raw, backlog) == 0;
}

int LocalPort(Handle socket) {
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  ::getsockname(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&addr), &len);
  return ntohs(addr.sin_port);
}

void SetBlocking(Handle socket) {
  const int raw = static_cast<int>(socket);
  ::fcntl(raw, F_SETFL, ::fcntl(raw, F_GETFL) & ~O_NONBLOCK);
}

int StartConnect(Handle socket, const Address& address) {
  return ::connect(static_cast<int>(socket), reinterpret_cast<const sockaddr*>(address.bytes.data()),
                   static_cast<socklen_t>(address.bytes.size())) == 0
             ? 0
             : LastError();
}

int ConnectResult(Handle socket) {
  int error = 0;
  socklen_t len = sizeof error;
  ::getsockopt(static_cast<int>(socket), SOL_SOCKET, SO_ERROR, &error, &len);
  return error;
}

}  // namespace system
}  // namespace ostrana::net
