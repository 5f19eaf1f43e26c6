// The event log: one line per event, with the local time to the millisecond,
// a level and a short subject, so that an operator can answer "what did the
// connector write to the machine, and when?" from the log alone.
//
// Nothing is lost without a trace: every write is checked; a file that
// cannot be written (a full disk, a FIFO nobody reads) is said once on
// stderr, the lines not kept are counted and the count is written when the
// file takes lines again, and a line is written whole or not at all. Only a
// regular file is rotated. A second connector on the same file (its lock
// "<log>.lock" held) gets a file of its own beside it (ostrana-<pid>.log),
// and says so; a file moved away
// under the log is opened again at its path. Bytes below 0x20 (but the line
// feeds of the program's own texts) and 0x7F are written as "\xNN", so a
// peer's text cannot steer a terminal that shows the log.
//
// Threads: Write may be called from any thread and never waits for the disk:
// it hands the line to the log's own writer thread (a bounded queue; lines
// beyond it are counted and the count is written). Open and Close are called
// by the owner of the run (the main thread); Close waits at most a second
// for the writer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

#include "common/FileLock.h"
#include "common/LogFile.h"

namespace ostrana {

enum class LogLevel { Info, Warning, Error, Audit };

class EventLog {
 public:
  struct Limits {
    std::uintmax_t fileBytes = 1 << 20;  // a file is rotated before it grows past this
    int files = 5;                       // the log and its older generations .1 to .4
    std::size_t queuedLines = 10000;
  };

  EventLog() = default;
  ~EventLog() { Close(); }
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // Starts writing to `file` (its folder is created); with `mirror` every line
  // also goes to stderr (through the console writer). A file that cannot be
  // written is reported once on stderr; the run goes on, and lines still
  // reach the mirror.
  void Open(const std::string& file, bool mirror, Limits limits);
  void Open(const std::string& file, bool mirror) { Open(file, mirror, Limits{}); }
  // Writes what is queued and stops the writer.
  void Close();

  void Write(LogLevel level, const std::string& subject, const std::string& text);
  // Waits at most `bound` until the lines written so far are handled (kept,
  // or counted as lost); false when the writer has not got there.
  bool Drain(std::chrono::milliseconds bound);

  // The process's log. Until it is opened, lines go nowhere. It lives as long
  // as the process: a writer left behind at Close may still use it.
  static EventLog& Instance();

 private:
  void Run();
  std::string OpenFile();                // writer thread only; a line to write first, if any
  void Append(const std::string& line);  // writer thread only
  void Rotate();                         // writer thread only
  void Say(const std::string& text);     // writer thread only: stderr, once per cause

  std::string file_;  // the path asked for
  bool mirror_ = false;
  Limits limits_;

  std::mutex lock_;  // guards the members below
  std::condition_variable wake_, finished_;
  std::deque<std::string> queue_;
  std::size_t dropped_ = 0;
  std::size_t queueLimit_ = 0;
  std::size_t unhandled_ = 0;  // queued, or taken by the writer and not yet written
  bool open_ = false;
  bool stopping_ = false;
  bool done_ = false;
  std::thread writer_;

  // Writer thread only.
  LogFile out_;
  FileLock logLock_;     // "<log>.lock": this run writes the log
  std::string writing_;  // the file written: file_, or this run's own beside it
  std::uintmax_t written_ = 0;
  std::size_t lost_ = 0;  // lines not kept since the file stopped taking them
  std::string lostWhy_;
};

// `text` with bytes below 0x20 and 0x7F as "\xNN" (line feeds as blanks).
std::string Printable(const std::string& text);

// Shorthand for the process's log.
inline void Log(LogLevel level, const std::string& subject, const std::string& text) {
  EventLog::Instance().Write(level, subject, text);
}

}  // namespace ostrana
