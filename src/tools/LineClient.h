// A blocking client of the request protocol: connects, takes the greeting,
// sends one request at a time and collects its reply. Single-threaded.
#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "net/Socket.h"

namespace ostrana::tools {

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

 private:
  // Reads until the data ends in a line feed and nothing more follows within
  // `quiet`, or `timeout` passes.
  std::optional<std::string> ReadReply(std::chrono::milliseconds timeout, std::string* reason, int lines = 0);
  net::Handle socket_ = net::kNoSocket;
  std::string greeting_;
};

// Connects to host:port and returns the greeting, or nothing (for discovery).
std::optional<std::string> ProbeGreeting(const std::string& host, int port, std::chrono::milliseconds timeout);

}  // namespace ostrana::tools
