// Soak through real processes: an `ostrana --headless` with its NC console,
// a client fetching events, and the NC program posting N records of mixed
// kinds with attachments and signals while a share of the connector's cell
// accesses fails at random. Every record posted while the client is attached
// must arrive exactly once, in order, with its fields intact. Reports the
// counts and the connector's resident memory; exits non-zero on any loss.
//   soak OSTRANA_BINARY [RECORDS] [FAULT_PERCENT] [IDLE_SECONDS]
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <map>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "protocol/Answers.h"
#include "tools/LineClient.h"

using namespace ostrana::tools;
using namespace ostrana::protocol;
using std::chrono::milliseconds;

namespace {

struct Process {
  pid_t pid = -1;
  int out = -1;
};

Process Spawn(const std::string& binary, const std::string& dir) {
  int fds[2];
  if (::pipe(fds) != 0) std::exit(2);
  Process p;
  p.pid = ::fork();
  if (p.pid == 0) {
    ::dup2(fds[1], STDOUT_FILENO);
    ::close(fds[0]);
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, STDERR_FILENO);
    const std::string settings = dir + "/settings.conf", tnc = dir + "/tnc";
    ::execl(binary.c_str(), binary.c_str(), "--headless", "--port", "0", "--nc-console", "0", "--settings",
            settings.c_str(), "--tnc-root", tnc.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  p.out = fds[0];
  return p;
}

// The number after `key` in the process's start-up lines.
int ReadPort(int fd, std::string& seen, const std::string& key) {
  char buffer[512];
  for (;;) {
    const auto at = seen.find(key);
    if (at != std::string::npos && seen.find('\n', at) != std::string::npos)
      return std::atoi(seen.c_str() + at + key.size());
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return -1;
    seen.append(buffer, static_cast<std::size_t>(n));
  }
}

long ResidentKb(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double CpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long utime = 0, stime = 0;
  for (int i = 3; fields >> field; ++i) {
    if (i == 14) utime = std::atol(field.c_str());
    if (i == 15) {
      stime = std::atol(field.c_str());
      break;
    }
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// What the NC program posts as record `id`, and what the client must get.
struct Expected {
  int kind, detail, index, qualifierDigits, v0;
  double v1, v2, v3;
};
Expected Record(int id) {
  static const int kinds[] = {0, 1, 2, 3, 4, 7};
  const int kind = kinds[id % 6];
  return {kind, id % 1000, id % 100, (id / 100) % 100, 3 + id % 7, id / 10.0, -id / 100.0, 1.5};
}

std::string Number(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.10g", v);
  return text;
}

class Nc {
 public:
  explicit Nc(int port) {
    std::string why;
    if (!client_.Open("127.0.0.1", port, milliseconds(5000), &why, /*greets=*/false)) {
      std::fprintf(stderr, "soak: the NC console: %s\n", why.c_str());
      std::exit(1);
    }
  }
  std::string Ask(const std::string& line) {  // one line in, one line out
    std::string why;
    auto reply = client_.Ask(line, milliseconds(10000), &why, 1);
    return reply ? *reply : "error " + why;
  }

 private:
  LineClient client_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: soak OSTRANA_BINARY [RECORDS] [FAULT_PERCENT] [IDLE_SECONDS]\n");
    return 2;
  }
  const int records = argc > 2 ? std::atoi(argv[2]) : 100000;
  const double faults = argc > 3 ? std::atof(argv[3]) : 2.0;
  const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 0;
  char dirTemplate[] = "/tmp/ostrana-soak-XXXXXX";
  const std::string dir = ::mkdtemp(dirTemplate);

  Process connector = Spawn(argv[1], dir);
  std::string startup;
  const int ncPort = ReadPort(connector.out, startup, "nc console on port ");
  const int port = ReadPort(connector.out, startup, "listening on port ");
  if (ncPort <= 0 || port <= 0) {
    std::fprintf(stderr, "soak: the connector did not start\n");
    return 1;
  }

  LineClient cam;
  std::string why;
  if (!cam.Open("127.0.0.1", port, milliseconds(5000), &why)) return std::fprintf(stderr, "soak: %s\n", why.c_str()), 1;
  auto ask = [&](const std::string& request) {  // one keyword: one answer line
    auto reply = cam.Ask(request, milliseconds(20000), &why, 1);
    if (!reply) {
      std::fprintf(stderr, "soak: no answer to %s: %s\n", request.c_str(), why.c_str());
      std::exit(1);
    }
    return *reply;
  };
  Nc nc(ncPort);
  ask("Machine Connect: 4,localhost,0,100");
  nc.Ask("init 100");
  nc.Ask("context 0.25");
  ask("Check Machine Buffer");
  if (ask("Start Machine Polling") != "Polling Data: 1\n")
    return std::fprintf(stderr, "soak: polling did not start\n"), 1;

  if (idleSeconds > 0) {
    const double before = CpuSeconds(connector.pid);
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    std::printf("soak: idle polling for %d s used %.2f s of CPU\n", idleSeconds, CpuSeconds(connector.pid) - before);
  }
  const long rssIdle = ResidentKb(connector.pid);
  nc.Ask("flaky " + Number(faults));

  int posted = 0, received = 0, duplicates = 0, outOfOrder = 0, mismatches = 0, actions = 0, signals = 0;
  long rssPeak = rssIdle;
  int expectedActions = 0;
  double attached[3] = {0, 0, 0};
  std::map<int, std::array<double, 3>> attachments;
  int attachedFor = 0;  // the record the attachment in the table is for  // record id -> the attachment tagged for it
  const auto start = std::chrono::steady_clock::now();
  while (received < records) {
    // The NC program posts while the ring has room, and waits while a
    // signal it raised is not yet answered (the connector answers signals
    // when the ring is empty).
    bool signalRaised = signals > 0 && std::atof(nc.Ask("get 104").c_str() + 3) > 0;
    while (posted < records && !signalRaised) {
      const int id = posted + 1;
      const Expected e = Record(id);
      const bool tagged = id % 9 == 0 && e.kind != 3 && e.kind != 4;
      if (tagged && attachedFor != id) {
        // The NC program sets a new attachment only once the last one was
        // taken, and keeps it while it waits for room for its record.
        if (nc.Ask("get 105") != "ok 0\n") break;
        attachedFor = id;
        nc.Ask("attach " + Number(id + e.index / 10000.0) + " " + Number(id) + " " + Number(-id) + " 0.5");
      }
      const double type = e.kind + e.detail / 1000.0;
      const double identity = id + (e.qualifierDigits * 100 + e.index) / 10000.0;
      const std::string answer = nc.Ask("post " + Number(type) + " " + Number(identity) + " " + Number(e.v0) + " " +
                                        Number(e.v1) + " " + Number(e.v2) + " " + Number(e.v3));
      if (answer.rfind("ok", 0) != 0) break;  // full
      ++posted;
      if (tagged) attachments[id] = {static_cast<double>(id), static_cast<double>(-id), 0.5};
      if (id % 250 == 0) {
        const int g = 1 + (id / 250) % 3;
        nc.Ask("signal " + std::to_string(g));
        ++signals;
        expectedActions += g == 3 ? 2 : 1;
        signalRaised = true;
      }
    }
    // The client fetches everything that waits, measures first.
    for (std::string reply; answer::IsAnswer(reply = ask("Send Measure"), answer::kMeasure);) {
      const auto d = DecodeAnswer(reply);
      const int id = std::stoi(d->fields[2].second);
      if (id <= received)
        ++duplicates;
      else if (id != received + 1)
        ++outOfOrder;
      received = std::max(received, id);
      const Expected e = Record(id);
      auto field = [&](int i) { return std::stod(d->fields[static_cast<std::size_t>(i)].second); };
      bool ok = field(0) == e.kind && field(1) == e.detail && field(3) == e.index;
      if (e.kind == 0 || e.kind == 1) ok = ok && field(4) == e.v0;
      if (e.kind == 2) ok = ok && field(4) == e.qualifierDigits;
      if (e.kind != 3 && e.kind != 4) {
        ok = ok && std::fabs(field(5) - e.v1) < 1e-4 && std::fabs(field(6) - e.v2) < 1e-4 &&
             std::fabs(field(7) - e.v3) < 1e-4;
        if (auto it = attachments.find(id); it != attachments.end())
          std::copy(it->second.begin(), it->second.end(), attached);
        ok = ok && std::fabs(field(9) - attached[0]) < 1e-4 && std::fabs(field(10) - attached[1]) < 1e-4;
        const double context = field(8);
        ok = ok && (context == 0.0 || std::fabs(context - 0.25) < 1e-4);
      }
      if (e.kind == 2 || e.kind == 7) ok = ok && std::fabs(field(12) - e.v0) < 1e-4;
      if (!ok) {
        if (++mismatches <= 5) std::fprintf(stderr, "soak: record %d arrived as %s", id, reply.c_str());
      }
    }
    while (answer::IsAnswer(ask("Send Action"), answer::kAction)) ++actions;
    if (received % 10000 < 50) rssPeak = std::max(rssPeak, ResidentKb(connector.pid));
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Signals are answered once the ring is empty: collect the last ones.
  for (int i = 0; i < 50 && actions < expectedActions; ++i) {
    std::this_thread::sleep_for(milliseconds(100));
    while (answer::IsAnswer(ask("Send Action"), answer::kAction)) ++actions;
  }
  const long rssEnd = ResidentKb(connector.pid);
  nc.Ask("flaky 0");
  ask("Stop Machine Polling");
  ::kill(connector.pid, SIGTERM);
  int status = 0;
  ::waitpid(connector.pid, &status, 0);
  std::string remove = "rm -rf " + dir;
  [[maybe_unused]] int ignored = std::system(remove.c_str());

  std::printf(
      "soak: %d records posted, %d received in %.1f s (%.0f/s); %d duplicates, %d out of order, "
      "%d with wrong fields; %d signals, %d of %d actions; %.1f %% of cell accesses failing\n",
      posted, received, seconds, received / seconds, duplicates, outOfOrder, mismatches, signals, actions,
      expectedActions, faults);
  std::printf("soak: resident memory %ld kB idle, %ld kB peak, %ld kB after the records\n", rssIdle, rssPeak, rssEnd);
  const bool ok = received == records && duplicates == 0 && outOfOrder == 0 && mismatches == 0 &&
                  actions == expectedActions && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  std::printf("soak: %d passed, %d failed\n", ok ? 1 : 0, ok ? 0 : 1);
  return ok ? 0 : 1;
}
