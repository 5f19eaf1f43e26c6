// The event log through an hour of the heaviest traffic nobody attends,
// run in minutes: no client is attached, an alarm stands answered with
// value 2 (read again on every pass), and the NC program fills the ring
// whenever it has room, so every record read goes whole into the log. The
// passes run `speed` times faster than the program's (the log's clock and
// the worker's counting minute alike), so the log sees an hour of them.
//
// Prints the lines written and counted, whether the audit file kept every
// AUDIT line of the hour (the read slot's advances it counts add up to the
// records the NC program saw taken), the largest size the log's files
// reached together, and how long the log and the audit file last at the
// rate the mailbox allows. Never fails on a time.
//
//   bench_loghour [speed (20)] [simulated minutes (60)]

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/EventLog.h"
#include "common/Prompts.h"
#include "ncsim/NcProgram.h"
#include "protocol/Dispatcher.h"
#include "run/MachineOperations.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;
namespace fs = std::filesystem;
using Steady = std::chrono::steady_clock;

namespace {

class QuietPrompts final : public Prompts {
 public:
  void ShowMessage(const std::string& text, PromptIcon) override { std::fprintf(stderr, "%s\n", text.c_str()); }
  bool AskYesNo(const std::string&) override { return true; }
};

std::uintmax_t FolderBytes(const fs::path& dir) {
  std::uintmax_t total = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec))
    if (entry.is_regular_file(ec)) total += entry.file_size(ec);
  return total;
}

// The audit file and its generations: lines, bytes, and the read slot's advances they count.
struct AuditKept {
  long lines = 0, advances = 0;
  std::uintmax_t bytes = 0;
};
AuditKept ReadAudit(const std::string& file, int generations) {
  AuditKept kept;
  for (int i = 0; i < generations; ++i) {
    std::ifstream in(i == 0 ? file : file + "." + std::to_string(i));
    const std::string marker = "read slot advanced ";
    for (std::string line; std::getline(in, line);) {
      ++kept.lines;
      kept.bytes += line.size() + 1;
      if (const auto at = line.find(marker); at != std::string::npos)
        kept.advances += std::atol(line.c_str() + at + marker.size());
    }
  }
  return kept;
}

}  // namespace

int main(int argc, char** argv) {
  const int speed = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  const int minutes = argc > 2 ? std::max(1, std::atoi(argv[2])) : 60;
  const fs::path dir = fs::temp_directory_path() / "ostrana-bench-loghour";
  fs::remove_all(dir);
  const std::string file = (dir / "log" / "ostrana.log").string();

  // The log's clock runs `speed` times faster than the real one.
  const auto wallStart = std::chrono::system_clock::now();
  const auto start = Steady::now();
  EventLog::Instance().SetClock([&] { return wallStart + (Steady::now() - start) * speed; });
  const EventLog::Limits limits;
  EventLog::Instance().Open(file, false, limits);

  vc::VirtualControl control(dir / "tnc");
  vc::VcComponent component(control);
  ncsim::NcProgram nc(control);
  QuietPrompts prompts;
  machine::MailboxTiming timing;
  timing.passInterval = std::chrono::milliseconds(100) / speed;
  timing.pausePoll = std::chrono::milliseconds(1);
  timing.countInterval = std::chrono::milliseconds(60000) / speed;
  run::MachineOperations ops(component, prompts, OSTRANA_TEMPLATE, timing, nullptr);
  const auto ask = [&](const char* request) { return protocol::DispatchRequest(ops, request); };
  ask("Machine Connect: 4,localhost,0,100\n");
  nc.Init(100);
  if (ask("Check Machine Buffer\n") != "Buffer Data: 1,64\n" || ask("Start Machine Polling\n") != "Polling Data: 1\n" ||
      ask("Set Alarm: Unprojected\n") != "Command Data: Set Alarm,1\n") {
    std::fprintf(stderr, "the mailbox could not be set up\n");
    return 1;
  }
  nc.Ack(-2);  // answered: alarm value 2, read on every pass from here

  // The NC program posts whenever the ring has room; the folder is measured as it goes.
  const auto hour = std::chrono::milliseconds(std::chrono::minutes(minutes)) / speed;
  long posted = 0;
  std::uintmax_t largest = 0;
  auto measured = Steady::now();
  while (Steady::now() - start < hour) {
    try {
      for (;;) {
        ++posted;
        nc.Post(0, static_cast<double>(posted % 100000) + 0.0001 * (posted % 100), 1, 123456.7891 + posted,
                -0.0421 * static_cast<double>(posted % 1000), 25.125);
      }
    } catch (const ncsim::NcError&) {
      --posted;  // full: the connector's turn
    }
    if (Steady::now() - measured > std::chrono::milliseconds(200)) {
      largest = std::max(largest, FolderBytes(dir / "log"));
      measured = Steady::now();
    }
    std::this_thread::sleep_for(timing.passInterval / 4);
  }
  ask("Stop Machine Polling\n");
  const long taken = posted - nc.Pending();
  EventLog::Instance().Drain(std::chrono::seconds(30));
  EventLog::Instance().Close();
  largest = std::max(largest, FolderBytes(dir / "log"));
  const double simulatedMinutes = std::chrono::duration<double>(Steady::now() - start).count() * speed / 60.0;
  const EventLog::Tally tally = EventLog::Instance().Counted();
  const AuditKept audit = ReadAudit(EventLog::AuditPath(file), limits.auditFiles);

  // At the rate the mailbox allows (4 records a pass of 100 ms, no access
  // latency), each record a line of the size measured here.
  const double boundPerMinute = 4 * 600.0;
  std::uintmax_t logBytes = 0;
  long logLines = 0;
  {
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);) {
      ++logLines;
      logBytes += line.size() + 1;
    }
  }
  const double bytesPerLine = logLines ? static_cast<double>(logBytes) / static_cast<double>(logLines) : 0;
  const double logMinutesAtBound =
      static_cast<double>(limits.fileBytes) * limits.files / (bytesPerLine * boundPerMinute);
  const double auditPerDay = static_cast<double>(audit.bytes) / simulatedMinutes * 1440.0;
  const double auditDays = static_cast<double>(limits.auditBytes) * limits.auditFiles / auditPerDay;

  std::printf(
      "%.1f simulated minutes (passes %d times faster, %.0f s real): %ld records taken from the ring = %.0f a minute "
      "(%.0f%% of the %.0f the mailbox allows)\n",
      simulatedMinutes, speed, simulatedMinutes * 60.0 / speed, taken, taken / simulatedMinutes,
      100.0 * taken / simulatedMinutes / boundPerMinute, boundPerMinute);
  std::printf("log: %llu lines written, %llu repeats counted instead, %llu of the lines AUDIT\n",
              static_cast<unsigned long long>(tally.lines), static_cast<unsigned long long>(tally.folded),
              static_cast<unsigned long long>(tally.auditLines));
  std::printf(
      "audit file: %ld lines kept of %llu (%s), %ld read slot advances counted of %ld records taken (%s), "
      "%llu bytes\n",
      audit.lines, static_cast<unsigned long long>(tally.auditLines),
      audit.lines == static_cast<long>(tally.auditLines) ? "all" : "NOT ALL", audit.advances, taken,
      audit.advances == taken ? "all" : "NOT ALL", static_cast<unsigned long long>(audit.bytes));
  std::printf(
      "largest size of the log's files together: %.2f MiB (bound %.0f MiB: %d x %.0f MiB log, %d x %.0f MiB "
      "audit)\n",
      static_cast<double>(largest) / (1 << 20),
      static_cast<double>(limits.fileBytes * limits.files + limits.auditBytes * limits.auditFiles) / (1 << 20),
      limits.files, static_cast<double>(limits.fileBytes) / (1 << 20), limits.auditFiles,
      static_cast<double>(limits.auditBytes) / (1 << 20));
  std::printf(
      "at the bound: the log's %d files hold %.0f minutes (%.0f bytes a record line); the audit file's hold "
      "%.0f days (%.0f bytes a day)\n",
      limits.files, logMinutesAtBound, bytesPerLine, auditDays, auditPerDay);
  fs::remove_all(dir);
  return audit.lines == static_cast<long>(tally.auditLines) && audit.advances == taken ? 0 : 2;
}
