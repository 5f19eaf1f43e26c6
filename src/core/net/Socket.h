// Plain TCP sockets for the parts that run their own threads beside the
// connector's event loop: the NC console and ostrana-client. One interface
// over POSIX sockets and Winsock, so neither is written twice; the client
// session itself goes through a ClientTransport instead.
//
// Threads: any; a socket is used by one thread at a time.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrana::net {

// A socket handle: an int on POSIX, a SOCKET on Windows.
using Handle = std::intptr_t;
inline constexpr Handle kNoSocket = -1;

// Starts the socket library once per process (Winsock's WSAStartup; nothing
// on POSIX, where it also makes a write to a closed peer fail instead of
// raising SIGPIPE). Safe to call from any thread, any number of times.
// False when the socket library cannot be used.
bool Startup();

// The last socket error of this thread, and its text.
int LastError();
std::string ErrorText(int error);
// Whether an error only says "not now" (would block, interrupted).
bool Transient(int error);
// Whether an error says the peer refused the connection.
bool Refused(int error);

void Close(Handle socket);
bool SetNonBlocking(Handle socket);
// The kernel's receive buffer of a socket, in bytes (a small one makes a
// peer that does not read visible sooner).
void SetReceiveBuffer(Handle socket, int bytes);

// A listening socket on 127.0.0.1:port (0: any free port). Returns it and
// the bound port, or kNoSocket with `why` set.
Handle ListenLoopback(std::uint16_t port, int backlog, int* boundPort, std::string* why);
// A non-blocking accepted connection, or kNoSocket. `shortage` (when given)
// tells whether the accept failed for want of resources, which polling again
// at once would not mend, rather than for a peer that already left.
Handle Accept(Handle listener, bool* shortage = nullptr);
// A blocking connection to host:port within `timeout`, or kNoSocket with
// `why` set: "unknown host", "refused", "timeout" or the system's text.
Handle Connect(const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, std::string* why);

// Like send/recv, never raising SIGPIPE: bytes moved, 0 for an orderly end
// (Receive only), -1 on error (LastError says which).
long Send(Handle socket, const char* data, std::size_t size);
long Receive(Handle socket, char* buffer, std::size_t size);

// Waiting for readiness, as poll(2) does.
struct Wait {
  Handle socket = kNoSocket;  // kNoSocket: not waited on
  bool read = false;
  bool write = false;
  // Results.
  bool readable = false;  // data, an end, an error or a connection to accept
  bool writable = false;
};
// Waits until one of `waits` is ready or `timeoutMs` passed (-1: no limit).
// Returns how many are ready, or -1 on error.
int Poll(std::vector<Wait>& waits, int timeoutMs);

// Whether `text` is an IPv4 or IPv6 address in numeric form.
bool IsAddress(const std::string& text);

// Two connected sockets in this process: one thread wakes another that
// polls on the first by writing a byte to the second.
bool WakePair(Handle pair[2]);

}  // namespace ostrana::net
