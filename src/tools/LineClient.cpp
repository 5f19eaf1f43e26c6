#include "tools/LineClient.h"

#include <algorithm>
#include <vector>

namespace ostrana::tools {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::milliseconds kQuiet(40);
constexpr std::chrono::milliseconds kSlice(100);

net::Handle ConnectTo(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* reason) {
  std::string why;
  const net::Handle socket =
      port < 0 || port > 65535 ? net::kNoSocket : net::Connect(host, static_cast<std::uint16_t>(port), timeout, &why);
  if (port < 0 || port > 65535) why = "refused";
  if (socket == net::kNoSocket && reason)
    *reason = why == "unknown host" ? "unknown host " + host
                                    : "connection " + why + " (" + host + ":" + std::to_string(port) + ")";
  return socket;
}

}  // namespace

LineClient::~LineClient() { Close(); }

void LineClient::Close() {
  if (socket_ != net::kNoSocket) net::Close(socket_);
  socket_ = net::kNoSocket;
}

bool LineClient::Open(const std::string& host, int port, std::chrono::milliseconds timeout, std::string* reason,
                      bool greets) {
  socket_ = ConnectTo(host, port, timeout, reason);
  if (socket_ == net::kNoSocket) return false;
  if (!greets) return true;
  std::string why;
  auto greeting = ReadReply(timeout, &why, 1);
  if (!greeting) {
    if (reason) *reason = why == "timeout" ? "no greeting" : "no greeting: " + why;
    return false;
  }
  greeting_ = *greeting;
  return true;
}

std::optional<std::string> LineClient::ReadReply(std::chrono::milliseconds timeout, std::string* reason, int lines) {
  std::string data;
  std::size_t lineLength = 0;  // of the line still open
  const auto deadline = Clock::now() + timeout;
  auto fail = [reason](const std::string& why) -> std::optional<std::string> {
    if (reason) *reason = why;
    return std::nullopt;
  };
  for (;;) {
    const bool complete = !data.empty() && data.back() == '\n';
    if (complete && lines > 0 && std::count(data.begin(), data.end(), '\n') >= lines) return data;
    const auto now = Clock::now();
    if (now >= deadline)
      return fail(complete ? "the answer did not end within " + std::to_string(timeout.count()) + " ms" : "timeout");
    if (stop_ && *stop_) return fail("interrupted");
    // In slices, so that a stop is seen while a server keeps the wait going.
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
    const auto wait = std::min(complete ? kQuiet : left, kSlice);
    std::vector<net::Wait> waits{{socket_, true, false}};
    const int ready = net::Poll(waits, static_cast<int>(wait.count()));
    if (ready == 0) {
      if (complete && wait == kQuiet) return data;
      continue;
    }
    if (ready < 0) return fail("interrupted");
    char buffer[4096];
    const long n = net::Receive(socket_, buffer, sizeof buffer);
    if (n <= 0) {
      if (complete) return data;
      return fail("connection closed by the connector");
    }
    for (long i = 0; i < n; ++i)
      if ((lineLength = buffer[i] == '\n' ? 0 : lineLength + 1) > kLineLimit)
        return fail("a line of more than " + std::to_string(kLineLimit) + " bytes: not an answer of a connector");
    data.append(buffer, static_cast<std::size_t>(n));
    if (data.size() > kReplyLimit)
      return fail("an answer of more than " + std::to_string(kReplyLimit) + " bytes: not an answer of a connector");
  }
}

std::optional<std::string> LineClient::Ask(const std::string& request, std::chrono::milliseconds timeout,
                                           std::string* reason, int lines) {
  std::string line = request;
  if (line.empty() || line.back() != '\n') line += '\n';
  std::size_t sent = 0;
  while (sent < line.size()) {
    const long n = net::Send(socket_, line.data() + sent, line.size() - sent);
    if (n < 0 && net::Transient(net::LastError())) {
      std::vector<net::Wait> waits{{socket_, false, true}};
      net::Poll(waits, 1000);
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
