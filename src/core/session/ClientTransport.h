// What the client session needs of a network stack: one listening socket and
// the connections it accepts, named by ids. Qt Network implements it on Linux
// (QtClientTransport), Winsock on Windows (WinsockClientTransport). Standard C++ only.
//
// Threads: every call is made on the session's thread (the main thread), and
// the transport reports its events (accepted, readable, closed, accept failed)
// to the ClientSession on that same thread, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace ostrana::session {

using ConnectionId = std::uint64_t;  // 0 is no connection

class ClientTransport {
 public:
  virtual ~ClientTransport() = default;

  // Replaces any listener by one on `address` ("" or "0.0.0.0": every IPv4
  // interface) and `port` (0 to 65535). On failure `error` holds the
  // system's reason and nothing listens.
  virtual bool Listen(const std::string& address, int port, std::string* error) = 0;
  virtual void CloseListener() = 0;
  virtual bool Listening() const = 0;
  // The port actually bound; 0 when not listening.
  virtual int BoundPort() const = 0;
  // After a failed accept: take connections again once `ms` have passed.
  virtual void ResumeAcceptingIn(int ms) = 0;

  // Bytes waiting on a connection; 0 for a connection that is gone.
  virtual std::int64_t Available(ConnectionId id) = 0;
  // Reads at most `max` bytes: their number, 0 when none, -1 on an error.
  virtual std::int64_t Read(ConnectionId id, char* buffer, std::size_t max) = 0;
  // Hands the bytes over in one write and pushes them out at once.
  virtual void Write(ConnectionId id, const std::string& bytes) = 0;
  // Bytes written and not yet taken by the peer.
  virtual std::int64_t Unsent(ConnectionId id) = 0;
  // Whether the connection is still open (a nested event loop may have ended it).
  virtual bool Open(ConnectionId id) = 0;
  // "address:port" of the peer, for the log.
  virtual std::string Peer(ConnectionId id) = 0;
  // Resets the connection. With `report`, the session hears of it as of any
  // close; without, the connection ends silently (a replaced client).
  virtual void Abort(ConnectionId id, bool report) = 0;
  // Ends the connection in order at shutdown, silently.
  virtual void Close(ConnectionId id) = 0;
};

}  // namespace ostrana::session
