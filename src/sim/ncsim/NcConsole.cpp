#include "ncsim/NcConsole.h"

#include <cerrno>
#include <chrono>
#include <charconv>
#include <cstring>
#include <map>
#include <sstream>
#include <vector>

#include "net/Socket.h"

namespace ostrana::ncsim {

using namespace vc;  // the control the NC side runs on
namespace {

std::vector<std::string> Split(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  std::string w;
  while (in >> w) words.push_back(w);
  return words;
}

double Number(const std::string& word) {
  auto value = ParseNumber(word);
  if (!value) throw NcError("not a number: " + word);
  return *value;
}

std::int64_t Integer(const std::string& word) {
  std::int64_t value = 0;
  const char* first = word.data() + (word.size() > 1 && word[0] == '+' ? 1 : 0);
  auto [ptr, ec] = std::from_chars(first, word.data() + word.size(), value);
  if (ec != std::errc() || ptr != word.data() + word.size()) throw NcError("not an integer: " + word);
  return value;
}

std::int32_t Int32(const std::string& word) {
  const std::int64_t v = Integer(word);
  if (v < INT32_MIN || v > INT32_MAX) throw NcError("out of range: " + word);
  return static_cast<std::int32_t>(v);
}

// A status as hexadecimal (0x80004005) or decimal; must be a failure.
dnc::HRESULT Status(const std::string& word) {
  std::int64_t value = 0;
  if (word.rfind("0x", 0) == 0 || word.rfind("0X", 0) == 0) {
    std::uint32_t u = 0;
    auto [ptr, ec] = std::from_chars(word.data() + 2, word.data() + word.size(), u, 16);
    if (ec != std::errc() || ptr != word.data() + word.size()) throw NcError("not a status: " + word);
    value = static_cast<std::int32_t>(u);
  } else {
    value = Int32(word);
  }
  if (value >= 0) throw NcError("a failure status is negative: " + word);
  return static_cast<dnc::HRESULT>(value);
}

void Arity(const std::vector<std::string>& w, std::size_t min, std::size_t max, const char* usage) {
  if (w.size() - 1 < min || w.size() - 1 > max) throw NcError(std::string("usage: ") + usage);
}

const char* const kHelp =
    "ok verbs: init BASE [LASTSLOT] | post TYPE ID V0 V1 V2 V3 | signal G | attach TAG A1 A2 A3 | "
    "context V | command | ack [VALUE] | pending | get ROW | set ROW VALUE | state N | "
    "fail OP COUNT [STATUS] | fail-row ROW COUNT [STATUS] | flaky PERCENT | delay MS | accesses | help";

}  // namespace

std::string ExecuteNcLine(NcProgram& program, VirtualControl& control, const std::string& line) {
  const auto w = Split(line);
  if (w.empty()) return "error empty request";
  const std::string& verb = w[0];
  try {
    if (verb == "init") {
      Arity(w, 1, 2, "init BASE [LASTSLOT]");
      program.Init(Int32(w[1]), w.size() > 2 ? Int32(w[2]) : 4);
      return "ok";
    }
    if (verb == "post") {
      Arity(w, 6, 6, "post TYPE ID V0 V1 V2 V3");
      const int slot = program.Post(Number(w[1]), Number(w[2]), Number(w[3]), Number(w[4]), Number(w[5]), Number(w[6]));
      return "ok " + std::to_string(slot);
    }
    if (verb == "signal") {
      Arity(w, 1, 1, "signal G");
      program.Signal(Number(w[1]));
      return "ok";
    }
    if (verb == "attach") {
      Arity(w, 4, 4, "attach TAG A1 A2 A3");
      program.Attach(Number(w[1]), Number(w[2]), Number(w[3]), Number(w[4]));
      return "ok";
    }
    if (verb == "context") {
      Arity(w, 1, 1, "context V");
      program.Context(Number(w[1]));
      return "ok";
    }
    if (verb == "command") {
      Arity(w, 0, 0, "command");
      std::string answer = "ok";
      for (double v : program.Command()) answer += " " + FormatNumber(v);
      return answer;
    }
    if (verb == "ack") {
      Arity(w, 0, 1, "ack [VALUE]");
      program.Ack(w.size() > 1 ? Number(w[1]) : 0.0);
      return "ok";
    }
    if (verb == "pending") {
      Arity(w, 0, 0, "pending");
      return "ok " + std::to_string(program.Pending());
    }
    if (verb == "get") {
      Arity(w, 1, 1, "get ROW");
      return "ok " + FormatNumber(program.Get(Integer(w[1])));
    }
    if (verb == "set") {
      Arity(w, 2, 2, "set ROW VALUE");
      program.Set(Integer(w[1]), Number(w[2]));
      return "ok";
    }
    if (verb == "state") {
      Arity(w, 1, 1, "state N");
      control.SetState(Int32(w[1]));
      return "ok";
    }
    if (verb == "fail") {
      Arity(w, 2, 3, "fail OP COUNT [STATUS]");
      auto op = OpFromName(w[1]);
      if (!op) throw NcError("unknown operation " + w[1] + " (one of: " + OpNames() + ")");
      const std::int32_t count = Int32(w[2]);
      if (count < 0) throw NcError("count must not be negative");
      control.InjectFault(*op, count, w.size() > 3 ? Status(w[3]) : dnc::kFail);
      return "ok";
    }
    if (verb == "fail-row") {
      Arity(w, 2, 3, "fail-row ROW COUNT [STATUS]");
      const std::int32_t count = Int32(w[2]);
      if (count < 0) throw NcError("count must not be negative");
      control.InjectRowFault(Integer(w[1]), count, w.size() > 3 ? Status(w[3]) : dnc::kFail);
      return "ok";
    }
    if (verb == "flaky") {
      Arity(w, 1, 1, "flaky PERCENT");
      const double percent = Number(w[1]);
      if (percent < 0 || percent > 100) throw NcError("percent must lie in 0 to 100");
      control.SetRandomFaults(percent / 100.0);
      return "ok";
    }
    if (verb == "delay") {
      Arity(w, 1, 1, "delay MS");
      const double ms = Number(w[1]);
      if (ms < 0 || ms > 60000) throw NcError("delay must lie in 0 to 60000 ms");
      control.SetLatency(std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000)));
      return "ok";
    }
    if (verb == "accesses") {
      Arity(w, 0, 0, "accesses");
      return "ok " + std::to_string(control.CellAccessCount());
    }
    if (verb == "help") return kHelp;
    return "error unknown verb " + verb.substr(0, 40) + " (try help)";
  } catch (const NcError& e) {
    return std::string("error ") + e.what();
  }
}

int NcConsole::Start(std::uint16_t port, std::string* error) {
  int bound = 0;
  std::string why;
  listen_ = net::ListenLoopback(port, 4, &bound, &why);  // loopback only: the console is not for the network
  if (listen_ == net::kNoSocket || !net::WakePair(wake_)) {
    if (error) *error = listen_ == net::kNoSocket ? why : "wake-up pair: " + net::ErrorText(net::LastError());
    Stop();
    return -1;
  }
  thread_ = std::thread([this] { Serve(); });
  return bound;
}

void NcConsole::Stop() {
  if (thread_.joinable()) {
    const char byte = 1;
    net::Send(wake_[1], &byte, 1);
    thread_.join();
  }
  for (net::Handle* socket : {&listen_, &wake_[0], &wake_[1]}) {
    if (*socket != net::kNoSocket) net::Close(*socket);
    *socket = net::kNoSocket;
  }
}

void NcConsole::Serve() {
  struct Peer {
    std::string input;   // an unfinished request line
    std::string output;  // answers the peer has not taken yet
  };
  std::map<net::Handle, Peer> clients;
  auto drop = [&](net::Handle socket) {
    net::Close(socket);
    clients.erase(socket);
  };
  using Clock = std::chrono::steady_clock;
  Clock::time_point acceptRestUntil{};
  for (;;) {
    const auto now = Clock::now();
    // After a failed accept (no descriptor left) the listener rests instead
    // of being polled again at once, which would spin a core.
    const bool accepting = now >= acceptRestUntil;
    std::vector<net::Wait> waits{{wake_[0], true, false}, {accepting ? listen_ : net::kNoSocket, true, false}};
    for (const auto& [socket, peer] : clients) waits.push_back({socket, true, !peer.output.empty()});
    const int timeout =
        accepting ? -1 : static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(acceptRestUntil - now).count());
    if (net::Poll(waits, timeout) < 0) {
      if (net::Transient(net::LastError())) continue;
      break;
    }
    if (waits[0].readable) break;
    if (waits[1].readable) {
      bool shortage = false;
      const net::Handle socket = net::Accept(listen_, &shortage);
      if (socket == net::kNoSocket) {
        if (shortage) acceptRestUntil = now + kAcceptRest;
      } else if (clients.size() >= kMaxConsoleClients) {
        static const char kRefused[] = "error too many console clients\n";
        net::Send(socket, kRefused, sizeof kRefused - 1);
        net::Close(socket);
      } else {
        clients.emplace(socket, Peer{});
      }
    }
    for (std::size_t i = 2; i < waits.size(); ++i) {
      const net::Handle socket = waits[i].socket;
      if (!waits[i].readable && !waits[i].writable) continue;
      Peer& peer = clients[socket];
      if (waits[i].readable) {
        char buffer[1024];
        const long n = net::Receive(socket, buffer, sizeof buffer);
        if (n == 0 || (n < 0 && !net::Transient(net::LastError()))) {
          drop(socket);
          continue;
        }
        if (n > 0) peer.input.append(buffer, static_cast<std::size_t>(n));
        for (auto end = peer.input.find('\n'); end != std::string::npos; end = peer.input.find('\n')) {
          std::string line = peer.input.substr(0, end);
          peer.input.erase(0, end + 1);
          if (!line.empty() && line.back() == '\r') line.pop_back();
          peer.output += ExecuteNcLine(program_, control_, line) + "\n";
        }
        if (peer.input.size() > kMaxConsoleLine) {
          peer.output += "error line too long\n";
          peer.input.clear();
        }
      }
      // Never a blocking send: what the peer cannot take now waits for it,
      // up to a bound; a peer that lets more pile up does not read and goes.
      if (!peer.output.empty()) {
        const long sent = net::Send(socket, peer.output.data(), peer.output.size());
        if (sent < 0 && !net::Transient(net::LastError())) {
          drop(socket);
          continue;
        }
        if (sent > 0) peer.output.erase(0, static_cast<std::size_t>(sent));
      }
      if (peer.output.size() > kMaxConsoleBacklog) drop(socket);
    }
  }
  for (const auto& [socket, peer] : clients) net::Close(socket);
}

}  // namespace ostrana::ncsim
