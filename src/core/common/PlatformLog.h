// The platform's log service as a second sink of the event log: the lines
// that carry an event (LogEvent) go, after the file, to the systemd journal
// or the Windows Application log, so that a shop collects the events of all
// its connectors with what it already runs. The file log stays the primary
// record; this sink never changes its lines.
//
// What a platform implements is a PlatformSink, made by OpenPlatformSink
// (PlatformLog_posix.cpp, PlatformLog_win32.cpp). A line repeated within its
// second reaches the sink once: the event log counts the repeats, as it does
// for the file, and the count comes with the next report of the same event
// (or, within a minute, in a report of its own), in `repeats`.
//
// Threads: a sink and PlatformLog are called from the event log's writer
// thread only (never from the main thread or the polling worker); a sink is
// made and installed by the run's owner (the main thread) before the log is
// opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/LogEvent.h"

namespace ostrana {

// One event as the platform's service takes it.
struct PlatformEntry {
  LogLevel level = LogLevel::Info;
  // The log line's text after its time, run mark and level ("client:
  // replaced: 10.0.0.5:50412"), escaped as in the file, with the file's
  // count of repeats when it has one.
  std::string message;
  LogEvent event;
  std::size_t repeats = 0;  // the times it came again and was counted instead of reported
};

class PlatformSink {
 public:
  virtual ~PlatformSink() = default;
  // Hands the entry to the service; false, with `why`, when the service
  // refused it or is not there. Must not wait long: it runs between the
  // file log's writes.
  virtual bool Report(const PlatformEntry& entry, std::string& why) = 0;
  // Whether the service already keeps what the stderr mirror shows (the
  // journal reads a service's stderr): the lines it took then stay off
  // stderr, so that none is kept twice.
  virtual bool TakesMirror() const = 0;
  // The service as the file log names it: "the systemd journal".
  virtual std::string Name() const = 0;
};

// What the command line asks of the platform's log: `journal` (--journal)
// sends the events to the journal even when the run's stderr is not the
// journal's.
struct PlatformLogChoice {
  bool journal = false;
};

// The platform's sink for this run, or nullptr when the platform's log does
// not take the events here (Linux without a journal). Main thread.
std::unique_ptr<PlatformSink> OpenPlatformSink(const PlatformLogChoice& choice);

// The sink as the writer uses it: a refusal is counted, and said once in
// the file log (Notice); the run goes on and later events are offered again.
class PlatformLog {
 public:
  void Install(std::unique_ptr<PlatformSink> sink) { sink_ = std::move(sink); }
  bool Installed() const { return sink_ != nullptr; }
  // True when the service took the entry.
  bool Report(const PlatformEntry& entry);
  // Whether a line the service took stays off the stderr mirror.
  bool TakesMirror() const { return sink_ && sink_->TakesMirror(); }
  // The file log's line about the first refusal (without time and level),
  // once; empty otherwise.
  std::string TakeNotice();
  std::uint64_t Reported() const { return reported_; }
  std::uint64_t Refused() const { return refused_; }

 private:
  std::unique_ptr<PlatformSink> sink_;
  std::uint64_t reported_ = 0, refused_ = 0;
  bool said_ = false;
  std::string notice_;
};

}  // namespace ostrana
