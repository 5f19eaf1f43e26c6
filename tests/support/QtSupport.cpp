#include "support/QtSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

namespace ostrana::test {

RawClient::RawClient(int port) {
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  // The connector runs on this thread: the kernel completes the handshake
  // from its backlog, the accept happens once the event loop runs.
  if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0)
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
  else
    Close();
}

RawClient::~RawClient() { Close(); }

bool RawClient::Send(const std::string& bytes) {
  std::size_t sent = 0;
  while (fd_ >= 0 && sent < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n > 0)
      sent += static_cast<std::size_t>(n);
    else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
      Pump([] { return false; }, 2);
    else
      return false;  // the connector closed the connection
  }
  return fd_ >= 0;
}

void RawClient::Drain() {
  char buffer[4096];
  ssize_t n;
  while ((n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) received_.append(buffer, static_cast<std::size_t>(n));
  if (n == 0) peerClosed_ = true;
}

std::string RawClient::ReceiveUntil(const std::string& until, int ms) {
  const auto arrived = [&] {
    Drain();
    return received_.size() >= until.size() &&
           received_.compare(received_.size() - until.size(), until.size(), until) == 0;
  };
  Pump(arrived, ms);
  return std::exchange(received_, {});
}

bool RawClient::ClosedByPeer(int ms) {
  return Pump([&] { return Drain(), peerClosed_; }, ms);
}

void RawClient::Reset() {
  const linger l{1, 0};
  if (fd_ >= 0) ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
  Close();
}

void RawClient::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace ostrana::test
