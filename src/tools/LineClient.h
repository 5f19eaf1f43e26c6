// A blocking client of the request protocol: connects, takes the greeting,
// sends one request at a time and collects its reply. A server that is no
// connector cannot make it grow or wait without bound: a line is at most
// kLineLimit bytes, a reply kReplyLimit, and the timeout bounds the whole
// reply, however steadily lines arrive. Single-threaded (the stop flag may
// be set from any thread or a signal handler).
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "net/Socket.h"
#include "protocol/AnswerGrammar.h"

namespace ostrana::tools {

// Eight times the protocol's longest answer line: room for an answer that
// grows, none for a stream without line ends.
inline constexpr std::size_t kLineLimit = 8 * protocol::answer::kLongestLine;
// A reply holds at most one line per keyword of the protocol (14): sixteen
// lines of the limit leave room to spare.
inline constexpr std::size_t kReplyLimit = 16 * kLineLimit;

class LineClient {
 public:
  ~LineClient();
  // Connects and reads the greeting (unless the server does not greet, as
  // the NC console). On failure returns false with a reason.
  bool Open(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* reason,
            bool greets = true);
  const std::string& Greeting() const { return greeting_; }
  // Sends one request (a line feed added when missing) and returns its reply:
  // `lines` answer lines when the caller knows how many come (one keyword,
  // one line), else everything until a line end is followed by a short quiet.
  std::optional<std::string> Ask(const std::string& request, std::chrono::milliseconds timeout, std::string* reason,
                                 int lines = 0);
  void Close();
  // A wait for a reply ends (with the reason "interrupted") within 100 ms of
  // `*stop` becoming true: Ctrl-C ends a wait on a server that goes on sending.
  void StopOn(const std::atomic<bool>* stop) { stop_ = stop; }

 private:
  // Reads until the data ends in a line feed and nothing more follows within
  // a short quiet; fails when `timeout` passes first or a limit is crossed.
  std::optional<std::string> ReadReply(std::chrono::milliseconds timeout, std::string* reason, int lines = 0);
  net::Handle socket_ = net::kNoSocket;
  std::string greeting_;
  const std::atomic<bool>* stop_ = nullptr;
};

// Connects to host:port and returns the greeting, or nothing (for discovery).
std::optional<std::string> ProbeGreeting(const std::string& host, int port, std::chrono::milliseconds timeout);

}  // namespace ostrana::tools
