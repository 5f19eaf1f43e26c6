// Request round trip over loopback: "Send Device" and a full "Send Measure"
// against the connector (its event loop on the main thread, as in a run),
// next to the same client against a minimal echo server measured in the same
// run. Prints median and 99th percentile and the ratio; never fails on a time.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <thread>
#include <pthread.h>
#include <time.h>
#include <vector>

#include "qt/QtConnectorRun.h"
#include "common/EventLog.h"
#include "common/Prompts.h"
#include "dnc/Dnc.h"

using namespace ostrana;
using Clock = std::chrono::steady_clock;

namespace {

class QuietPrompts final : public Prompts {
 public:
  void ShowMessage(const std::string&, PromptIcon) override {}
  bool AskYesNo(const std::string&) override { return true; }
};

int Connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return -1;
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

// Sends `request` and reads until the reply's line feed; microseconds.
double RoundTrip(int fd, const std::string& request) {
  const auto start = Clock::now();
  ::send(fd, request.data(), request.size(), 0);
  char buffer[512];
  std::size_t got = 0;
  while (got == 0 || buffer[got - 1] != '\n') {
    const ssize_t n = ::recv(fd, buffer + got, sizeof buffer - got, 0);
    if (n <= 0) return -1;
    got += static_cast<std::size_t>(n);
  }
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

struct Figures {
  double median, p99;
};

Figures Measure(int fd, const std::string& request, int count) {
  std::vector<double> times;
  for (int i = 0; i < 200; ++i) RoundTrip(fd, request);  // warm up
  for (int i = 0; i < count; ++i) times.push_back(RoundTrip(fd, request));
  std::sort(times.begin(), times.end());
  return {times[times.size() / 2], times[static_cast<std::size_t>(0.99 * static_cast<double>(times.size() - 1))]};
}

// CPU time a thread has used, in microseconds (its clock read from any thread).
double CpuMicros(clockid_t clock) {
  timespec t{};
  ::clock_gettime(clock, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}
std::atomic<clockid_t> echoClock{};

// The least a TCP server can do: send back what it got.
int StartEcho(std::thread& thread) {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  ::listen(listener, 1);
  socklen_t len = sizeof addr;
  ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  thread = std::thread([listener] {
    clockid_t clock;
    ::pthread_getcpuclockid(::pthread_self(), &clock);
    echoClock = clock;
    const int fd = ::accept(listener, nullptr, nullptr);
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    char buffer[512];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) ::send(fd, buffer, static_cast<std::size_t>(n), 0);
    ::close(fd);
    ::close(listener);
  });
  return ntohs(addr.sin_port);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
  // OSTRANA_BENCH_LOG=FILE: the same figures with the event log on; and with
  // the events in the journal too when JOURNAL_STREAM names stderr, as under systemd.
  EventLog::Instance().SetPlatformSink(OpenPlatformSink({}));
  if (const char* log = std::getenv("OSTRANA_BENCH_LOG")) EventLog::Instance().Open(log, false);
  QuietPrompts prompts;
  dnc::MissingComponent component;
  qt::QtConnectorRun connector(component, prompts, "ostrana");
  run::ConnectorRun& run = connector.Run();
  run.SetPortNumber(0);
  run.OpenListener();
  const int port = run.BoundPort();

  // The event loop's CPU time per request, next to the echo thread's: the
  // work each does for an answer, which the machine's wake-up latency (the
  // bulk of a round trip on a VM) does not blur.
  clockid_t loopClock;
  ::pthread_getcpuclockid(::pthread_self(), &loopClock);
  std::thread client([&] {
    std::thread echoThread;
    const int echoPort = StartEcho(echoThread);
    const int echo = Connect(echoPort);
    const int fd = Connect(port);
    char greeting[128];
    ::recv(fd, greeting, sizeof greeting, 0);
    // Records for every "Send Measure", pushed as the worker would.
    mailbox::MeasureRecord record{1, 250, 12, 5, 3, 1.5, -0.01, 2, 7.5, 0.5, 0.25, 0.125, 0};
    for (int i = 0; i < count + 300; ++i) run.Operations().Stores().PushMeasure(record);

    double cpu = CpuMicros(loopClock);
    const Figures device = Measure(fd, "Send Device\n", count);
    const double deviceCpu = (CpuMicros(loopClock) - cpu) / (count + 200);
    const Figures measure = Measure(fd, "Send Measure\n", count);
    cpu = CpuMicros(echoClock);
    const Figures echo12 = Measure(echo, "Send Device\n", count);
    const double echoCpu = (CpuMicros(echoClock) - cpu) / (count + 200);
    // An audited command: with no worker it is answered at once, after its audit line.
    const Figures halt = Measure(fd, "Halt Monitoring\n", count);
    std::printf("round trip over loopback, %d requests each (microseconds)\n", count);
    std::printf("  echo server      median %7.1f  p99 %7.1f\n", echo12.median, echo12.p99);
    std::printf("  Send Device      median %7.1f  p99 %7.1f  (%.2f x echo)\n", device.median, device.p99,
                device.median / echo12.median);
    std::printf("  Send Measure     median %7.1f  p99 %7.1f  (%.2f x echo)\n", measure.median, measure.p99,
                measure.median / echo12.median);
    std::printf("  Halt Monitoring  median %7.1f  p99 %7.1f  (audited; no worker)\n", halt.median, halt.p99);
    std::printf("CPU time per \"Send Device\": event loop %.1f us, echo thread %.1f us (%.2f x echo)\n", deviceCpu,
                echoCpu, deviceCpu / echoCpu);
    ::close(fd);
    ::close(echo);
    echoThread.join();
    QMetaObject::invokeMethod(
        &app, [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
  });
  app.exec();
  client.join();
  return 0;
}
