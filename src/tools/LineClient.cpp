#include "tools/LineClient.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace ostrana::tools {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kQuiet(40);

int ConnectTo(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* reason) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
    if (reason) *reason = "unknown host " + host;
    return -1;
  }
  int fd = -1;
  std::string why = "refused";
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) continue;
    int rc = ::connect(fd, a->ai_addr, a->ai_addrlen);
    if (rc != 0 && errno == EINPROGRESS) {
      pollfd p{fd, POLLOUT, 0};
      rc = ::poll(&p, 1, static_cast<int>(timeout.count())) == 1 ? 0 : -1;
      int error = 0;
      socklen_t len = sizeof error;
      if (rc == 0) ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len);
      if (rc != 0) why = "timeout";
      else if (error != 0) {
        why = error == ECONNREFUSED ? "refused" : std::strerror(error);
        rc = -1;
      }
    } else if (rc != 0) {
      why = errno == ECONNREFUSED ? "refused" : std::strerror(errno);
    }
    if (rc != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  if (fd < 0 && reason) *reason = "connection " + why + " (" + host + ":" + std::to_string(port) + ")";
  return fd;
}

}  // namespace

LineClient::~LineClient() { Close(); }

void LineClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool LineClient::Open(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* reason,
                      bool greets) {
  fd_ = ConnectTo(host, port, timeout, reason);
  if (fd_ < 0) return false;
  if (!greets) return true;
  auto greeting = ReadReply(timeout, reason, 1);
  if (!greeting) {
    if (reason) *reason = "no greeting";
    return false;
  }
  greeting_ = *greeting;
  return true;
}

std::optional<std::string> LineClient::ReadReply(std::chrono::milliseconds timeout, std::string* reason, int lines) {
  std::string data;
  const auto deadline = Clock::now() + timeout;
  for (;;) {
    const bool complete = !data.empty() && data.back() == '\n';
    if (complete && lines > 0 && std::count(data.begin(), data.end(), '\n') >= lines) return data;
    const auto now = Clock::now();
    if (!complete && now >= deadline) {
      if (reason) *reason = "timeout";
      return std::nullopt;
    }
    const auto wait = complete ? kQuiet : std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    pollfd p{fd_, POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(wait.count()));
    if (ready == 0) {
      if (complete) return data;
      continue;
    }
    if (ready < 0 && errno == EINTR) {
      if (reason) *reason = "interrupted";
      return std::nullopt;
    }
    char buffer[4096];
    const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
    if (n <= 0) {
      if (complete) return data;
      if (reason) *reason = "connection closed by the connector";
      return std::nullopt;
    }
    data.append(buffer, static_cast<std::size_t>(n));
  }
}

std::optional<std::string> LineClient::Ask(const std::string& request, std::chrono::milliseconds timeout,
                                           std::string* reason, int lines) {
  std::string line = request;
  if (line.empty() || line.back() != '\n') line += '\n';
  std::size_t sent = 0;
  while (sent < line.size()) {
    const ssize_t n = ::send(fd_, line.data() + sent, line.size() - sent, MSG_NOSIGNAL);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd_, POLLOUT, 0};
      ::poll(&p, 1, 1000);
      continue;
    }
    if (n <= 0) {
      if (reason) *reason = "connection closed by the connector";
      return std::nullopt;
    }
    sent += static_cast<std::size_t>(n);
  }
  return ReadReply(timeout, reason, lines);
}

std::optional<std::string> ProbeGreeting(const std::string& host, int port, std::chrono::milliseconds timeout) {
  LineClient client;
  std::string reason;
  if (!client.Open(host, port, timeout, &reason)) return std::nullopt;
  return client.Greeting();
}

}  // namespace ostrana::tools
