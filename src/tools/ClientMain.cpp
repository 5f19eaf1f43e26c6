// ostrana-client: the request protocol from a terminal. Sends requests to a
// running connector and prints what it answers; finds connectors on the
// ports the CAM client scans; follows the events of a machine.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "common/EventLog.h"
#include "common/Process.h"
#include "common/StringTable.h"
#include "protocol/Answers.h"
#include "net/Socket.h"
#include "tools/LineClient.h"
#include "tools/Terminal.h"

namespace {

using namespace ostrana::tools;
using namespace ostrana::protocol;
using std::chrono::milliseconds;

std::atomic<bool> interrupted{false};

void Interrupted(int) { interrupted = true; }

const char* const kUsage =
    "usage: ostrana-client [--host H] [--port P] [--timeout MS] [--decode] [--follow [MS]] REQUEST...\n"
    "   or: ostrana-client [--host H] --discover [--yes]\n"
    "   or: ostrana-client --help | --version\n"
    "\n"
    "Sends each REQUEST (a line feed is added when missing) to the connector at H:P\n"
    "(default 127.0.0.1:50000), one at a time, and prints the greeting and every answer.\n"
    "Quote a request of several words: ostrana-client \"Send Device\". Exits with 3 when\n"
    "the connector did not understand a request, with 4 (and the possible reasons) when it\n"
    "did not write a command (\"Command Data: ...,0\"). With no REQUEST, reads them from\n"
    "stdin: one a line from a pipe or file (each sent as it is read), or at a prompt on a\n"
    "terminal (help lists them, quit ends).\n"
    "\n"
    "  --decode       show Measure, Device, Alarm and Buffer Data as named decimal fields\n"
    "  --follow [MS]  after the requests, poll Send Measure and Send Action every MS ms\n"
    "                 (default 200) and print each event until interrupted\n"
    "  --discover     list the ports from 50000 to 50100 where a connector greets; each\n"
    "                 connector found takes this connection as its client and drops the\n"
    "                 live CAM client's, so it asks first (--yes: without asking)\n"
    "  --timeout MS   how long to wait for one whole answer (default 15000)\n";

struct Options {
  std::string host = "127.0.0.1";
  int port = 50000;
  int timeoutMs = 15000;
  bool decode = false;
  bool discover = false;
  bool yes = false;
  int followMs = -1;
  std::vector<std::string> requests;
};

bool ParseInt(const char* text, int min, int max, int* out) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (!text[0] || *end || v < min || v > max) return false;
  *out = static_cast<int>(v);
  return true;
}

int Usage(const std::string& why) {
  std::fprintf(stderr, "ostrana-client: %s\n%s", why.c_str(), kUsage);
  return 2;
}

int Fail(const std::string& why) {
  std::fprintf(stderr, "ostrana-client: %s\n", why.c_str());
  return 1;
}

// Each line of a reply, decoded when asked. What the server sent is shown
// with its control bytes as "\xNN", as the event log shows a peer's text: an
// escape sequence in an answer (one that writes the clipboard, or clears the
// screen) does not reach the terminal.
void Print(const std::string& reply, bool decode) {
  std::size_t start = 0;
  while (start < reply.size()) {
    const auto end = reply.find('\n', start);
    std::string line = reply.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (auto decoded = decode ? DecodeAnswer(line) : std::nullopt) line = FormatDecoded(*decoded);
    std::printf("%s\n", ostrana::Printable(line).c_str());
    start = end == std::string::npos ? reply.size() : end + 1;
  }
  std::fflush(stdout);
}

int Discover(const Options& o) {
  std::vector<std::future<std::optional<std::string>>> probes;
  for (int port = 50000; port <= 50100; ++port)
    probes.push_back(
        std::async(std::launch::async, [&o, port] { return ProbeGreeting(o.host, port, milliseconds(1500)); }));
  int found = 0;
  for (int port = 50000; port <= 50100; ++port) {
    auto greeting = probes[static_cast<std::size_t>(port - 50000)].get();
    if (greeting && answer::IsAnswer(*greeting, answer::kIdent)) {
      // Its first line only: what follows could pass for another port's.
      std::printf("%d %s\n", port, ostrana::Printable(greeting->substr(0, greeting->find('\n'))).c_str());
      ++found;
    }
  }
  if (!found) return Fail("no connector on " + o.host + " ports 50000 to 50100");
  return 0;
}

int Follow(LineClient& client, const Options& o) {
  long measures = 0, actions = 0, gaps = 0;
  std::optional<std::int32_t> lastId;
  std::string reason;
  while (!interrupted) {
    // Measures first, as the connector hands them out.
    while (!interrupted) {
      auto reply = client.Ask("Send Measure", milliseconds(o.timeoutMs), &reason, 1);
      if (!reply && interrupted) break;
      if (!reply) return Fail(reason);
      if (!answer::IsAnswer(*reply, answer::kMeasure)) break;
      if (auto id = MeasureId(*reply)) {
        if (lastId && *id != *lastId + 1) ++gaps;
        lastId = id;
      }
      ++measures;
      Print(*reply, o.decode);
    }
    if (interrupted) break;
    auto reply = client.Ask("Send Action", milliseconds(o.timeoutMs), &reason, 1);
    if (!reply && interrupted) break;
    if (!reply) return Fail(reason);
    if (answer::IsAnswer(*reply, answer::kAction)) {
      ++actions;
      Print(*reply, o.decode);
      continue;  // more may wait
    }
    for (int waited = 0; waited < o.followMs && !interrupted; waited += 10)
      std::this_thread::sleep_for(milliseconds(10));
  }
  std::printf("ostrana-client: %ld events (%ld measures, %ld actions), %ld gaps\n", measures + actions, measures,
              actions, gaps);
  return 0;
}

// The prompt's own words; everything else goes to the connector.
const char* const kPromptHelp =
    "Requests, as Kelvra sends them:\n"
    "  Machine Connect: 4,TEXT,NUMBER,BASEROW   Machine Disconnect\n"
    "  Start Machine Polling   Stop Machine Polling   Check Machine Buffer   Locate Machine Buffer\n"
    "  Halt Monitoring   Resume Monitoring   Set Alarm: NAME   Set WCS: H1,H2,H3,H4,H5,H6\n"
    "  Send Device   Send Action   Send Measure   Send Alarm\n"
    "Alarm names: OutOfTolerance, Unprojected, PartAlignmentFailed, Unspecified.\n"
    "help shows this; quit (or Ctrl-D) ends.\n";

bool Unknown(const std::string& reply) { return reply.find("Unknown request!") != std::string::npos; }

// A command the connector did not write ("Command Data: <name>,0"): its
// possible reasons. Other answers of 0 (a disconnect's) are no refusal.
bool Refused(const std::string& reply) {
  const auto at = reply.find("Command Data: ");
  return at != std::string::npos && reply.compare(reply.find('\n', at) - 2, 2, ",0") == 0;
}

const char* const kRefusalReasons =
    "ostrana-client: the connector did not write the command. Possible reasons:\n"
    "  - polling is off (Start Machine Polling first) or the machine is not connected;\n"
    "  - a command is still waiting on the machine (the NC program has not taken it);\n"
    "  - Set WCS: not six fields, a field not upper-case hexadecimal of at most 8 digits\n"
    "    (-10.0 is FFFE7960: the value times 10000 as a 32-bit pattern), or no line feed;\n"
    "  - Set Alarm: not one of Unprojected, OutOfTolerance, PartAlignmentFailed, Unspecified,\n"
    "    or an alarm is pending.\n"
    "  The connector's event log says which (an AUDIT or request line).\n";

// The next request piped in on stdin: one a line, its line end dropped (the
// client adds a line feed), empty lines skipped; nothing at the end of input.
std::optional<std::string> PipedRequest() {
  std::string line;
  for (int ch; (ch = std::fgetc(stdin)) != EOF;) {
    if (ch != '\n') {
      line += static_cast<char>(ch);
    } else if (!line.empty()) {
      return line;
    }
  }
  if (line.empty()) return std::nullopt;
  return line;
}

int Interactive(LineClient& client, const Options& o) {
  std::string reason;
  while (auto line = ReadLine("ostrana> ")) {
    const std::string request = *line;
    if (request.empty()) continue;
    if (request == "help" || request == "?") {
      std::fputs(kPromptHelp, stdout);
      continue;
    }
    if (request == "quit" || request == "exit") break;
    interrupted = false;  // a Ctrl-C at the prompt ends no later wait
    auto reply = client.Ask(request, milliseconds(o.timeoutMs), &reason);
    if (!reply) return Fail(reason);
    Print(*reply, o.decode);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Before any descriptor is opened: a socket must never take a closed stdout's number.
  if (!ostrana::OpenStandardStreams()) return Fail("/dev/null cannot be opened for a closed standard stream");
  Options o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) return nullptr;
      (void)name;
      return argv[++i];
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--version") {
      std::printf("ostrana-client (%s), %s\n", ostrana::strings::kAppName, ostrana::strings::kVersion);
      return 0;
    } else if (a == "--host") {
      const char* v = value("--host");
      if (!v) return Usage("--host needs a host");
      o.host = v;
    } else if (a == "--port") {
      const char* v = value("--port");
      if (!v || !ParseInt(v, 1, 65535, &o.port)) return Usage("--port needs a number from 1 to 65535");
    } else if (a == "--timeout") {
      const char* v = value("--timeout");
      if (!v || !ParseInt(v, 1, 3600000, &o.timeoutMs)) return Usage("--timeout needs milliseconds");
    } else if (a == "--decode") {
      o.decode = true;
    } else if (a == "--discover") {
      o.discover = true;
    } else if (a == "--yes") {
      o.yes = true;
    } else if (a == "--follow") {
      o.followMs = 200;
      if (i + 1 < argc && ParseInt(argv[i + 1], 1, 3600000, &o.followMs)) ++i;
    } else if (a.rfind("--", 0) == 0) {
      return Usage("unknown option " + a);
    } else {
      o.requests.push_back(a);
    }
  }
  OnInterrupt(Interrupted);
  ostrana::net::Startup();

  if (o.discover && !o.yes) {
    // Every connector found drops its live CAM client for this connection.
    if (!InputIsTerminal()) return Usage("--discover replaces the CAM client of every connector it finds: give --yes");
    std::fputs(
        "Discovery connects to every connector on ports 50000 to 50100, and each one drops its live\n"
        "CAM client for this connection. Scan? [y/N] ",
        stdout);
    std::fflush(stdout);
    char answer[16] = "";
    if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) return 0;
  }
  if (o.discover) return Discover(o);

  LineClient client;
  std::string reason;
  if (!client.Open(o.host, o.port, milliseconds(std::min(o.timeoutMs, 5000)), &reason)) return Fail(reason);
  client.StopOn(&interrupted);
  Print(client.Greeting(), false);
  int unknown = 0, refused = 0;
  // The requests given, else those piped in; a terminal gets the prompt below.
  const bool piped = o.requests.empty() && !InputIsTerminal();
  std::size_t given = 0;
  auto next = [&]() -> std::optional<std::string> {
    if (piped) return PipedRequest();
    if (given < o.requests.size()) return o.requests[given++];
    return std::nullopt;
  };
  while (const auto request = next()) {
    auto reply = client.Ask(*request, milliseconds(o.timeoutMs), &reason);
    if (!reply) return Fail("no answer to \"" + *request + "\": " + reason);
    Print(*reply, o.decode);
    if (Unknown(*reply)) {
      ++unknown;
      std::fprintf(stderr, "ostrana-client: the connector did not understand \"%s\"%s\n", request->c_str(),
                   request->find(' ') == std::string::npos ? " (quote a request of several words)" : "");
    }
    if (Refused(*reply)) ++refused;
  }
  if (unknown) return 3;
  if (refused) {
    std::fputs(kRefusalReasons, stderr);
    return 4;
  }
  if (o.followMs > 0) return Follow(client, o);
  if (o.requests.empty() && !piped) return Interactive(client, o);
  return 0;
}
