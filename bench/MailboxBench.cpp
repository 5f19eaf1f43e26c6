// Mailbox figures: cell accesses of an idle pass, records per second through
// the ring, and the delay from the NC program's post to the record being
// ready for "Send Measure", at 0 and 2 ms of latency per cell access, next
// to the bound the protocol allows; with --stop, how long "Stop Machine
// Polling" takes at 0 and 200 ms. Prints figures; never fails on a time.
// On Windows, --late-bound runs the same through the DNC component's
// late-bound backend (IDispatch by name) over the stand-in in this process,
// and --out-of-process SERVER through the stand-in served by the server
// program SERVER (dnc-standin-server.exe, either bitness) in a process of its
// own, which reaches this process's control back: every call crosses twice.
// It also times one crossing alone (a call the server answers itself).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/EventLog.h"
#include "common/Prompts.h"
#include "machine/EventStores.h"
#include "machine/OstranaConnect.h"
#include "ncsim/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"
#ifdef _WIN32
#include "standin/InProcess.h"
#include "standin/OutOfProcess.h"
#endif

using namespace ostrana;
using Clock = std::chrono::steady_clock;

namespace {

[[maybe_unused]] bool lateBound = false;  // set by the Windows build's --late-bound
[[maybe_unused]] std::wstring server;     // set by the Windows build's --out-of-process

class QuietPrompts final : public Prompts {
 public:
  void ShowMessage(const std::string& text, PromptIcon) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool AskYesNo(const std::string&) override { return true; }
};

struct Rig {
  explicit Rig(const std::filesystem::path& dir, const std::string& templateFile)
      : control(dir),
        component(control),
        reached(Reached(component)),
        nc(control),
        machine(stores, *reached, prompts, templateFile) {
    machine.SetConnectionData("localhost", 0, 100);
    if (!machine.Connect()) std::exit(1);
    nc.Init(100);
    machine.CheckMachineBuffer();
    stores.SetClientAttached(true);
  }
  // The component as the machine connection reaches it.
  static std::unique_ptr<dnc::IComponent> Reached(vc::VcComponent& component) {
#ifdef _WIN32
    HRESULT registration = S_OK;
    if (lateBound || !server.empty())
      return standin::LateBound(component, std::string(server.begin(), server.end()), &registration);
#endif
    struct Direct final : dnc::IComponent {
      explicit Direct(dnc::IComponent& c) : inner(c) {}
      dnc::HRESULT CreateMachine(dnc::IMachine** m) override { return inner.CreateMachine(m); }
      dnc::IComponent& inner;
    };
    return std::make_unique<Direct>(component);
  }
  vc::VirtualControl control;
  vc::VcComponent component;
  std::unique_ptr<dnc::IComponent> reached;
  ncsim::NcProgram nc;
  QuietPrompts prompts;
  machine::EventStores stores;
  machine::OstranaConnect machine;
};

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void Throughput(const std::string& templateFile, int latencyMs, int records) {
  const auto dir = std::filesystem::temp_directory_path() / ("ostrana-bench-" + std::to_string(latencyMs));
  std::filesystem::remove_all(dir);
  Rig rig(dir, templateFile);
  rig.control.SetLatency(std::chrono::milliseconds(latencyMs));
  rig.machine.StartPolling();

  std::vector<Clock::time_point> posted(static_cast<std::size_t>(records) + 1);
  std::vector<double> delays;
  int sent = 0, received = 0;
  const auto start = Clock::now();
  while (received < records) {
    // The NC program posts whenever the ring has room.
    while (sent < records) {
      try {
        rig.nc.Post(0, sent + 1, 0, 0, 0, 0);
        posted[static_cast<std::size_t>(++sent)] = Clock::now();
      } catch (const ncsim::NcError&) {
        break;  // full: wait for the connector
      }
    }
    while (auto r = rig.stores.PopMeasure()) {
      delays.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - posted[static_cast<std::size_t>(r->id)]).count());
      ++received;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  rig.machine.StopPolling();
  // The protocol's bound: at most lastSlot (4) records per pass; a pass
  // starts 100 ms after the previous one ended and costs 2 accesses plus 9
  // per record (no attachment).
  const double passMs = 100.0 + latencyMs * (2 + 4 * 9);
  const double bound = 4 * 1000.0 / passMs;
  std::printf(
      "latency %d ms: %d records in %.2f s = %.1f records/s (bound %.1f/s, ratio %.2f); "
      "post-to-ready delay median %.1f ms, p99 %.1f ms\n",
      latencyMs, records, seconds, records / seconds, bound, (records / seconds) / bound, Percentile(delays, 0.5),
      Percentile(delays, 0.99));
  std::filesystem::remove_all(dir);
}

void IdlePass(const std::string& templateFile) {
  const auto dir = std::filesystem::temp_directory_path() / "ostrana-bench-idle";
  std::filesystem::remove_all(dir);
  Rig rig(dir, templateFile);
  rig.machine.StartPolling();
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  rig.control.EnableAccessLog(true);
  std::this_thread::sleep_for(std::chrono::milliseconds(2000));
  const auto log = rig.control.TakeAccessLog();
  rig.machine.StopPolling();
  // Passes begin with the read of the read slot (+2).
  const auto passes =
      std::count_if(log.begin(), log.end(), [](const vc::CellAccess& a) { return !a.write && a.row == 102; });
  std::printf("idle: %zu cell accesses in %ld passes = %.2f per pass\n", log.size(), static_cast<long>(passes),
              passes ? static_cast<double>(log.size()) / static_cast<double>(passes) : 0.0);
  std::filesystem::remove_all(dir);
}

// "Stop Machine Polling": the time from the request to the answer, which
// waits for the pass in progress to run whole. The stop comes at a random
// moment of the pass cycle, on an idle mailbox, just after the NC program
// raised a signal, or just after it filled the ring.
void StopLatency(const std::string& templateFile, int latencyMs, int trials, int fullRingTrials) {
  const auto dir = std::filesystem::temp_directory_path() / ("ostrana-bench-stop-" + std::to_string(latencyMs));
  std::filesystem::remove_all(dir);
  Rig rig(dir, templateFile);
  rig.control.SetLatency(std::chrono::milliseconds(latencyMs));
  unsigned seed = 12345;
  // A cycle: the pass interval and an idle pass of three accesses.
  const unsigned cycleMs = 100 + 3 * static_cast<unsigned>(latencyMs);
  for (const char* what : {"idle", "signal raised", "ring full"}) {
    std::vector<double> ms;
    const int count = what[0] == 'r' ? fullRingTrials : trials;
    for (int i = 0; i < count; ++i) {
      if (!rig.machine.StartPolling()) std::exit(1);
      seed = seed * 1103515245u + 12345u;
      std::this_thread::sleep_for(std::chrono::milliseconds(cycleMs + (seed >> 8) % cycleMs));  // anywhere in a cycle
      if (what[0] == 's') rig.nc.Signal(1);
      for (int k = 0; what[0] == 'r' && k < 4; ++k) rig.nc.Post(0, k + 1, 0, 0, 0, 0);
      const auto start = Clock::now();
      rig.machine.StopPolling();
      ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      if (rig.nc.Pending() != 0) std::printf("  (a record was left in the ring)\n");
      while (rig.stores.PopMeasure()) {
      }
      while (rig.stores.PopAction()) {
      }
    }
    // The bound: the rest of the pass in progress, a pass interval and the
    // last pass, begun after the request (3 accesses idle, 4 with a signal
    // answered, 2 + 4 x 9 with a full ring).
    const int accesses = what[0] == 'i' ? 3 : what[0] == 's' ? 4 : 38;
    std::printf("stop, latency %d ms, %s: %d stops, min %.1f ms, median %.1f ms, max %.1f ms (bound %d ms)\n",
                latencyMs, what, count, Percentile(ms, 0), Percentile(ms, 0.5), Percentile(ms, 1),
                100 + 2 * accesses * latencyMs);
  }
  std::filesystem::remove_all(dir);
}

#ifdef _WIN32
// One call across the process boundary and back, answered by the server
// itself: the machine object's GetTypeInfoCount.
void Crossing(const std::wstring& program) {
  vc::VirtualControl control(std::filesystem::temp_directory_path() / "ostrana-bench-crossing");
  vc::VcComponent component(control);
  standin::OutOfProcessComponent served(component, program);
  IDispatch* machine = nullptr;
  if (FAILED(served.Registration()) || FAILED(CoCreateInstance(served.ServedClass(), nullptr, CLSCTX_LOCAL_SERVER,
                                                               IID_IDispatch, reinterpret_cast<void**>(&machine)))) {
    std::printf("crossing: the server cannot be reached\n");
    return;
  }
  constexpr int kCalls = 2000;
  UINT count = 0;
  const auto start = Clock::now();
  for (int i = 0; i < kCalls; ++i) machine->GetTypeInfoCount(&count);
  const double us = std::chrono::duration<double, std::micro>(Clock::now() - start).count() / kCalls;
  machine->Release();
  std::printf("crossing: one call to the server and back: %.1f us\n", us);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (argc > 1 && std::string(argv[1]) == "--late-bound") {
    lateBound = true;
    --argc;
    ++argv;
  } else if (argc > 2 && std::string(argv[1]) == "--out-of-process") {
    server.assign(argv[2], argv[2] + std::strlen(argv[2]));
    argc -= 2;
    argv += 2;
  }
  std::printf("backend: %s\n", !server.empty() ? "late-bound (IDispatch) over the stand-in out of process"
                               : lateBound     ? "late-bound (IDispatch) over the stand-in"
                                               : "direct");
  if (!server.empty()) Crossing(server);
#endif
  // OSTRANA_BENCH_LOG=FILE: the same figures with the event log on.
  if (const char* log = std::getenv("OSTRANA_BENCH_LOG")) EventLog::Instance().Open(log, false);
  // --stop: the stop figures alone (a minute at 200 ms per cell access).
  const bool stopOnly = argc > 1 && std::string(argv[1]) == "--stop";
  if (stopOnly) {
    --argc;
    ++argv;
  }
  const std::string templateFile = argc > 1 ? argv[1] : OSTRANA_TEMPLATE;
  if (stopOnly) {
    StopLatency(templateFile, 0, 40, 40);
    StopLatency(templateFile, 200, 10, 3);
    return 0;
  }
  const int records = argc > 2 ? std::atoi(argv[2]) : 200;
  IdlePass(templateFile);
  Throughput(templateFile, 0, records);
  Throughput(templateFile, 2, records);
  return 0;
}
