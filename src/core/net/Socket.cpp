#include "net/Socket.h"

#include "common/SystemText.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#endif

#include <mutex>

namespace ostrana::net {
namespace {
#ifdef _WIN32
using RawSocket = SOCKET;
#else
using RawSocket = int;
#endif
RawSocket Raw(Handle socket) { return static_cast<RawSocket>(socket); }
}  // namespace

#ifdef _WIN32

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
      {WSAEADDRINUSE, "The bound address is already in use"}, {WSAEACCES, "Permission denied"},
      {WSAEADDRNOTAVAIL, "The address is not available"},     {WSAECONNREFUSED, "Connection refused"},
      {WSAECONNRESET, "Connection reset by peer"},             {WSAETIMEDOUT, "Connection timed out"},
      {WSAEMFILE, "Too many open sockets"},                    {WSAENOBUFS, "No buffer space available"},
      {WSAENETUNREACH, "Network is unreachable"},              {WSAEHOSTUNREACH, "No route to host"},
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

long Send(Handle socket, const char* data, std::size_t size) {
  return send(Raw(socket), data, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
}

long Receive(Handle socket, char* buffer, std::size_t size) {
  return recv(Raw(socket), buffer, static_cast<int>(size > 0x7FFFFFFF ? 0x7FFFFFFF : size), 0);
}

int Poll(std::vector<Wait>& waits, int timeoutMs) {
  std::vector<WSAPOLLFD> fds;
  for (const Wait& w : waits) {
    WSAPOLLFD fd{};
    fd.fd = w.socket == kNoSocket ? INVALID_SOCKET : Raw(w.socket);
    fd.events = static_cast<short>((w.read ? POLLRDNORM : 0) | (w.write ? POLLWRNORM : 0));
    fds.push_back(fd);
  }
  // WSAPoll refuses a set without one valid socket; such a wait is a sleep.
  bool any = false;
  for (const auto& fd : fds) any = any || fd.fd != INVALID_SOCKET;
  if (!any) {
    Sleep(timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs));
    return 0;
  }
  // WSAPoll takes an invalid socket as an error: leave those out.
  std::vector<WSAPOLLFD> live;
  std::vector<std::size_t> index;
  for (std::size_t i = 0; i < fds.size(); ++i)
    if (fds[i].fd != INVALID_SOCKET) {
      live.push_back(fds[i]);
      index.push_back(i);
    }
  const int ready = WSAPoll(live.data(), static_cast<ULONG>(live.size()), timeoutMs);
  for (Wait& w : waits) w.readable = w.writable = false;
  if (ready <= 0) return ready;
  for (std::size_t k = 0; k < live.size(); ++k) {
    Wait& w = waits[index[k]];
    w.readable = (live[k].revents & (POLLRDNORM | POLLHUP | POLLERR)) != 0;
    w.writable = (live[k].revents & (POLLWRNORM | POLLERR | POLLHUP)) != 0;
  }
  return ready;
}

#else

bool Startup() {
  static std::once_flag once;
  std::call_once(once, [] { std::signal(SIGPIPE, SIG_IGN); });
  return true;
}

int LastError() { return errno; }
std::string ErrorText(int error) { return std::strerror(error); }
bool Transient(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == EINPROGRESS; }
bool Refused(int error) { return error == ECONNREFUSED; }
void Close(Handle socket) { ::close(Raw(socket)); }

bool SetNonBlocking(Handle socket) {
  const int flags = ::fcntl(Raw(socket), F_GETFL);
  return flags >= 0 && ::fcntl(Raw(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

long Send(Handle socket, const char* data, std::size_t size) { return ::send(Raw(socket), data, size, MSG_NOSIGNAL); }
long Receive(Handle socket, char* buffer, std::size_t size) { return ::recv(Raw(socket), buffer, size, 0); }

int Poll(std::vector<Wait>& waits, int timeoutMs) {
  std::vector<pollfd> fds;
  for (const Wait& w : waits)
    fds.push_back({w.socket == kNoSocket ? -1 : Raw(w.socket),
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

#endif

void SetReceiveBuffer(Handle socket, int bytes) {
  ::setsockopt(Raw(socket), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

Handle ListenLoopback(std::uint16_t port, int backlog, int* boundPort, std::string* why) {
  Startup();
  auto fail = [&](const char* what, Handle socket) {
    const int error = LastError();
    if (why) *why = std::string(what) + ": " + ErrorText(error);
    if (socket != kNoSocket) Close(socket);
    return kNoSocket;
  };
  const Handle listener = static_cast<Handle>(::socket(AF_INET, SOCK_STREAM, 0));
#ifdef _WIN32
  if (Raw(listener) == INVALID_SOCKET) return fail("socket", kNoSocket);
  // Windows lets a second socket take a port held with SO_REUSEADDR: hold it alone.
  BOOL exclusive = TRUE;
  ::setsockopt(Raw(listener), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
               sizeof exclusive);
#else
  if (listener < 0) return fail("socket", kNoSocket);
  ::fcntl(Raw(listener), F_SETFD, FD_CLOEXEC);
  int yes = 1;
  ::setsockopt(Raw(listener), SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
#endif
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);  // loopback only
  addr.sin_port = htons(port);
  if (::bind(Raw(listener), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    return fail("bind", listener);
  if (::listen(Raw(listener), backlog) != 0) return fail("listen", listener);
  socklen_t len = sizeof addr;
  ::getsockname(Raw(listener), reinterpret_cast<sockaddr*>(&addr), &len);
  if (boundPort) *boundPort = ntohs(addr.sin_port);
  SetNonBlocking(listener);
  return listener;
}

Handle Accept(Handle listener, bool* shortage) {
#ifdef _WIN32
  const SOCKET accepted = ::accept(Raw(listener), nullptr, nullptr);
  if (accepted == INVALID_SOCKET) {
    const int error = LastError();
    if (shortage) *shortage = !Transient(error) && error != WSAECONNRESET && error != WSAECONNABORTED;
    return kNoSocket;
  }
  const Handle socket = static_cast<Handle>(accepted);
#else
  const int accepted = ::accept4(Raw(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (accepted < 0) {
    const int error = LastError();
    if (shortage) *shortage = !Transient(error) && error != ECONNABORTED;
    return kNoSocket;
  }
  const Handle socket = accepted;
#endif
  SetNonBlocking(socket);
  return socket;
}

Handle Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, std::string* why) {
  Startup();
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    *why = "unknown host";
    return kNoSocket;
  }
  Handle result = kNoSocket;
  for (addrinfo* a = found; a && result == kNoSocket; a = a->ai_next) {
    const auto raw = ::socket(a->ai_family, SOCK_STREAM, 0);
    const Handle socket = static_cast<Handle>(raw);
#ifdef _WIN32
    if (raw == INVALID_SOCKET) continue;
#else
    if (raw < 0) continue;
    ::fcntl(raw, F_SETFD, FD_CLOEXEC);
#endif
    SetNonBlocking(socket);
    int error = 0;
    if (::connect(raw, a->ai_addr, static_cast<int>(a->ai_addrlen)) != 0) {
      error = LastError();
      if (Transient(error)) {
        std::vector<Wait> waits{{socket, false, true}};
        error = Poll(waits, static_cast<int>(timeout.count())) == 1 ? 0 : -1;
        if (error == 0) {
          int soError = 0;
          socklen_t len = sizeof soError;
          ::getsockopt(raw, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&soError), &len);
          error = soError;
        }
      }
    }
    if (error == 0) {
#ifdef _WIN32
      u_long no = 0;
      ioctlsocket(raw, FIONBIO, &no);
#else
      ::fcntl(raw, F_SETFL, ::fcntl(raw, F_GETFL) & ~O_NONBLOCK);
#endif
      result = socket;
    } else {
      *why = error < 0 ? "timeout" : Refused(error) ? "refused" : ErrorText(error);
      Close(socket);
    }
  }
  ::freeaddrinfo(found);
  return result;
}

bool IsAddress(const std::string& text) {
  Startup();
  in6_addr buffer{};
  return ::inet_pton(AF_INET, text.c_str(), &buffer) == 1 || ::inet_pton(AF_INET6, text.c_str(), &buffer) == 1;
}

bool WakePair(Handle pair[2]) {
#ifdef _WIN32
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
#else
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return false;
  pair[0] = fds[0];
  pair[1] = fds[1];
  return true;
#endif
}

}  // namespace ostrana::net
