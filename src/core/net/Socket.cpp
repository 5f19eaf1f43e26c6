#include "net/Socket.h"

#include OSTRANA_SOCKET_HEADERS

#include "net/SocketSystem.h"

namespace ostrana::net {

namespace {
// The addresses of host:port for a stream connection; empty when unknown.
std::vector<system::Address> Resolve(const std::string& host, std::uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  std::vector<system::Address> addresses;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return addresses;
  for (const addrinfo* a = found; a; a = a->ai_next)
    addresses.push_back({a->ai_family, std::string(reinterpret_cast<const char*>(a->ai_addr), a->ai_addrlen)});
  ::freeaddrinfo(found);
  return addresses;
}
}  // namespace

Handle ListenLoopback(std::uint16_t port, int backlog, int* boundPort, std::string* why) {
  Startup();
  const Handle listener = system::OpenStream(system::kFamilyIPv4);
  const char* step = "socket";
  if (listener != kNoSocket && system::ListenOnLoopback(listener, port, backlog, &step)) {
    if (boundPort) *boundPort = system::LocalPort(listener);
    SetNonBlocking(listener);
    return listener;
  }
  const int error = LastError();
  if (why) *why = std::string(step) + ": " + ErrorText(error);
  if (listener != kNoSocket) Close(listener);
  return kNoSocket;
}

Handle Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, std::string* why) {
  Startup();
  const std::vector<system::Address> addresses = Resolve(host, port);
  if (addresses.empty()) {
    *why = "unknown host";
    return kNoSocket;
  }
  for (const system::Address& address : addresses) {
    const Handle socket = system::OpenStream(address.family);
    if (socket == kNoSocket) continue;
    SetNonBlocking(socket);
    int error = system::StartConnect(socket, address);
    if (error != 0 && Transient(error)) {
      std::vector<Wait> waits{{socket, false, true}};
      error = Poll(waits, static_cast<int>(timeout.count())) == 1 ? system::ConnectResult(socket) : -1;
    }
    if (error == 0) {
      system::SetBlocking(socket);
      return socket;
    }
    *why = error < 0 ? "timeout" : Refused(error) ? "refused" : ErrorText(error);
    Close(socket);
  }
  return kNoSocket;
}

}  // namespace ostrana::net
