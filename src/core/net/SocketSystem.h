// The system calls under net/Socket.h that differ between POSIX sockets and
// Winsock, one file per platform (Socket_posix.cpp, Socket_win32.cpp); what
// is the same on both (listening on loopback, resolving a host, connecting
// with a timeout) is written once in Socket.cpp over these and the system's
// socket headers. Private to net/.
//
// Threads: any; a socket is used by one thread at a time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net/Socket.h"

namespace ostrana::net::system {

// AF_INET, the same number on every system.
inline constexpr int kFamilyIPv4 = 2;

// A new stream socket of an address family, not inherited by programs this
// process starts; kNoSocket on failure (LastError says why).
Handle OpenStream(int family);
// Binds a listener to 127.0.0.1:port, holding the port alone, and listens.
// The step that failed ("bind", "listen") in `step`.
bool ListenOnLoopback(Handle listener, std::uint16_t port, int backlog, const char** step);
// The port a socket is bound to.
int LocalPort(Handle socket);
// Back to blocking, for the caller of a connection made non-blocking.
void SetBlocking(Handle socket);

// One address of a host: its family and the system's socket address.
struct Address {
  int family = 0;
  std::string bytes;  // the sockaddr, as the system lays it out
};
// Starts connecting; 0, or the error (a Transient one while it goes on).
int StartConnect(Handle socket, const Address& address);
// The error a finished non-blocking connect left on the socket (0: connected).
int ConnectResult(Handle socket);

}  // namespace ostrana::net::system
