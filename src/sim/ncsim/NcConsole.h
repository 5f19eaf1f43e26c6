// The NC console: the NC program's side of the virtual control as a line
// protocol on a loopback TCP port, so that tests, scripts and people can play
// the machine while a connector runs. One request line, one answer line:
// "ok ..." or "error <reason>".
//
// ExecuteNcLine is the parser and may be called from any thread. NcConsole
// runs its own thread; Start and Stop are called from the owner's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

#include "ncsim/NcProgram.h"
#include "net/Socket.h"
#include "vc/VirtualControl.h"

namespace ostrana::ncsim {

// The console serves a handful of peers (a test, a script, a person); more
// are refused at once, so idle connections cannot use up the descriptors.
inline constexpr std::size_t kMaxConsoleClients = 8;
// Answers a peer leaves unread beyond this are not kept: the peer is dropped.
inline constexpr std::size_t kMaxConsoleBacklog = 64 * 1024;
inline constexpr std::size_t kMaxConsoleLine = 4096;
// How long the listener rests after an accept failed for want of resources.
inline constexpr std::chrono::milliseconds kAcceptRest{100};

// Executes one console line (without its line end) and returns the answer
// line (without its line end).
std::string ExecuteNcLine(NcProgram& program, vc::VirtualControl& control, const std::string& line);

class NcConsole {
 public:
  NcConsole(NcProgram& program, vc::VirtualControl& control) : program_(program), control_(control) {}
  ~NcConsole() { Stop(); }
  NcConsole(const NcConsole&) = delete;
  NcConsole& operator=(const NcConsole&) = delete;

  // Listens on 127.0.0.1:port (0 = any free port). Returns the bound port, or
  // -1 with `error` set.
  int Start(std::uint16_t port, std::string* error);
  void Stop();

 private:
  void Serve();

  NcProgram& program_;
  vc::VirtualControl& control_;
  net::Handle listen_ = net::kNoSocket;
  net::Handle wake_[2] = {net::kNoSocket, net::kNoSocket};  // Stop writes to [1], Serve polls [0]
  std::thread thread_;
};

}  // namespace ostrana::ncsim
