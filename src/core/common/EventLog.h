// The event log: one line per event, with the local time to the millisecond,
// a level and a short subject, so that an operator can answer "what did the
// connector write to the machine, and when?" from the log alone.
//
// The AUDIT lines go also into an audit file beside the log
// ("ostrana-audit.log" for "ostrana.log") with its generations of its own:
// traffic that rotates the log every few minutes leaves the audit of the
// machine's writes for weeks. A line that comes again within a second of
// the same one written (or within the longer window its caller asks for) is
// counted, not written; the count goes at the end of the next one written
// ("(and 9 times more since 08:14:05.830)"), or on a line of its own within
// a minute ("(9 times from 08:14:05.830 to 08:14:06.650)").
//
// Nothing is lost without a trace: every write is checked; a file that
// cannot be written (a full disk, a FIFO nobody reads) is said once on
// stderr, the lines not kept are counted and the count is written when the
// file takes lines again, and a line is written whole or not at all. Only a
// regular file is rotated. A second connector on the same file (its lock
// "<log>.lock" held), or a run that cannot have the lock for another reason,
// gets a file of its own beside it (ostrana-<pid>.log, and
// ostrana-<pid>-audit.log), and says so with the reason; every line carries
// the run's mark after its time, so that two runs' lines stay apart should
// they ever share a file. A file moved away under the log is opened again at
// its path. What could steer a terminal or split a line is escaped
// (Printable).
//
// A line that carries an event (LogEvent) also goes to the platform's log
// service when a sink is installed (PlatformLog.h), from the writer thread
// after the file; a line the service took stays off the stderr mirror when
// the service keeps that stream anyway (the journal).
//
// Threads: Write may be called from any thread and never waits for the disk:
// it hands the line to the log's own writer thread (a bounded queue; lines
// beyond it are counted and the count is written). Open, Close, SetClock and
// SetPlatformSink are called by the owner of the run (the main thread); Close waits at most
// a second for the writer.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>

#include "common/FileLock.h"
#include "common/LogEvent.h"
#include "common/LogGenerations.h"
#include "common/PlatformLog.h"
#include "common/RepeatFold.h"

namespace ostrana {

class EventLog {
 public:
  struct Limits {
    std::uintmax_t fileBytes = 1 << 20;  // a file is rotated before it grows past this
    int files = 5;                       // the log and its older generations .1 to .4
    std::size_t queuedLines = 10000;
    // The audit file's: a year of a count a minute, weeks of a signal a second.
    std::uintmax_t auditBytes = 4 << 20;
    int auditFiles = 5;
  };
  // What a run's log has handled so far (for the figures of a benchmark).
  struct Tally {
    std::uint64_t lines = 0;       // written to the log (or counted as not kept)
    std::uint64_t auditLines = 0;  // of them, AUDIT lines (also written to the audit file)
    std::uint64_t folded = 0;      // repeats counted instead of written
    std::uint64_t reported = 0;    // events the platform's log took
    std::uint64_t refused = 0;     // events it refused (said once in the file)
  };
  using Clock = std::function<std::chrono::system_clock::time_point()>;
  // A line again within this long of the same one written is counted.
  static constexpr std::chrono::seconds kFold{1};

  EventLog();
  ~EventLog() { Close(); }
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Starts writing to `file` (its folder is created); with `mirror` every line
  // also goes to stderr (through the console writer). A file that cannot be
  // written is reported once on stderr; the run goes on, and lines still
  // reach the mirror.
  void Open(const std::string& file, bool mirror, Limits limits);
  void Open(const std::string& file, bool mirror) { Open(file, mirror, Limits{}); }
  // As Open, but the file is neither made nor opened until Keep(): the lines
  // reach the mirror at once and wait for the file. A run that may yet be
  // refused at start opens its log so: a refused start leaves no file behind.
  void OpenHeld(const std::string& file, bool mirror);
  void Keep();
  // Writes what is queued and stops the writer; lines still held for a file
  // never kept are dropped (the mirror has had them).
  void Close();

  // `fold`: a caller whose line repeats on every pass may count its repeats
  // over a longer window (a minute): the line is then written when it changes.
  void Write(LogLevel level, const std::string& subject, const std::string& text,
             std::chrono::milliseconds fold = kFold) {
    Write(level, subject, text, LogEvent{}, fold);
  }
  // The same, for a line that is an event: it goes to the platform's log too.
  void Write(LogLevel level, const std::string& subject, const std::string& text, const LogEvent& event,
             std::chrono::milliseconds fold = kFold);
  // The platform's log service for the lines that carry an event (none:
  // the file only). Set while the log is closed, before Open.
  void SetPlatformSink(std::unique_ptr<PlatformSink> sink) { platform_.Install(std::move(sink)); }
  // Waits at most `bound` until the lines written so far are handled (kept,
  // or counted as lost); false when the writer has not got there.
  bool Drain(std::chrono::milliseconds bound);

  // The process's log. Until it is opened, lines go nowhere. It lives as long
  // as the process: a writer left behind at Close may still use it.
  static EventLog& Instance();

  // The time the log sees: the system clock unless a test or a benchmark
  // runs it faster. Set while no thread writes to the log (before a run's
  // threads start, or after they end).
  void SetClock(Clock clock) { clock_ = std::move(clock); }
  Tally Counted();
  // The audit file beside `log`: "ostrana.log" gives "ostrana-audit.log".
  static std::string AuditPath(const std::string& log);

 private:
  void Run();
  std::string OpenFile();             // writer thread only; a line to write first, if any
  void Say(const std::string& text);  // writer thread only: stderr
  std::string Stamp() const;          // now, as a line begins
  void QueueDue(bool all);            // with lock_ held: the counts of repeats that are due
  struct Queued {
    std::string line;
    bool audit = false;
    std::optional<PlatformEntry> entry;  // for the platform's log, when the line is an event
    bool told = false;                   // mirrored and reported already (while the file was held)
  };
  // Writer thread only: the line to the platform's log and the stderr mirror, once.
  void Tell(Queued& queued);
  // The platform's entry of a line the log itself writes.
  std::optional<PlatformEntry> OwnEntry(EventId id, const std::string& message) const;

  std::string file_;  // the path asked for
  bool mirror_ = false;
  Limits limits_;
  Clock clock_ = [] { return std::chrono::system_clock::now(); };
  const std::string mark_;  // the run's mark, on every line after the time

  std::mutex lock_;  // guards the members below
  std::condition_variable wake_, finished_;
  std::deque<Queued> queue_;
  RepeatFold fold_;
  Tally tally_;
  std::atomic<bool> reports_{false};  // a platform sink is installed: events are queued with their entries
  // The events whose repeats are being counted, by the line's key: their count goes to the platform too.
  std::unordered_map<std::string, PlatformEntry> foldedEvents_;
  std::size_t dropped_ = 0, droppedAudit_ = 0;
  std::size_t queueLimit_ = 0;
  std::size_t unhandled_ = 0;  // queued, or taken by the writer and not yet written
  bool open_ = false;
  bool held_ = false;  // the file waits for Keep()
  bool stopping_ = false;
  bool done_ = false;
  std::thread writer_;

  // Writer thread only.
  LogGenerations out_{[this] { return Stamp(); }};
  LogGenerations audit_{[this] { return Stamp(); }};
  FileLock logLock_;  // "<log>.lock": this run writes the log and its audit file
  std::string lockSaid_;  // why this run writes a file of its own, as said on stderr
  PlatformLog platform_;
  std::optional<PlatformEntry> noticeEntry_;  // the platform's entry of OpenFile's line
};

// `text` as one line that cannot steer a terminal: line feeds as blanks; the
// bytes of the C0 and C1 controls, DEL, U+2028, U+2029 and of anything that is
// not UTF-8 as "\xNN"; a backslash before "x" or another backslash (or before
// an escape) as "\\", so that what a client typed never reads as an escape.
std::string Printable(const std::string& text);
// A field of an event for the platform's log: as Printable, its line feeds kept.
std::string PrintableField(const std::string& text);

// What Printable made of a text, as that text again (a line feed stays the
// blank it became): for a reader of the log that acts on what it holds.
std::string FromPrintable(const std::string& printed);

// Shorthand for the process's log.
inline void Log(LogLevel level, const std::string& subject, const std::string& text,
                std::chrono::milliseconds fold = EventLog::kFold) {
  EventLog::Instance().Write(level, subject, text, fold);
}
inline void Log(LogLevel level, const std::string& subject, const std::string& text, const LogEvent& event,
                std::chrono::milliseconds fold = EventLog::kFold) {
  EventLog::Instance().Write(level, subject, text, event, fold);
}

}  // namespace ostrana
