// The event log: one line per event, with the local time to the millisecond,
// a level and a short subject, so that an operator can answer "what did the
// connector write to the machine, and when?" from the log alone.
//
// Threads: Write may be called from any thread and never waits for the disk:
// it hands the line to the log's own writer thread (a bounded queue; lines
// beyond it are counted and the count is written). Open and Close are called
// by the owner of the run (the main thread).
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

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
  // also goes to stderr. A file that cannot be written is reported once on
  // stderr; the run goes on, and lines still reach the mirror.
  void Open(const std::string& file, bool mirror, Limits limits);
  void Open(const std::string& file, bool mirror) { Open(file, mirror, Limits{}); }
  // Writes what is queued and stops the writer.
  void Close();

  void Write(LogLevel level, const std::string& subject, const std::string& text);

  // The process's log. Until it is opened, lines go nowhere.
  static EventLog& Instance();

 private:
  void Run();
  bool Append(const std::string& line);  // writer thread only
  void Rotate();                         // writer thread only

  std::string file_;
  bool mirror_ = false;
  Limits limits_;

  std::mutex lock_;  // guards the members below
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  std::size_t dropped_ = 0;
  std::size_t queueLimit_ = 0;
  bool open_ = false;
  bool stopping_ = false;
  std::thread writer_;

  // Writer thread only.
  std::FILE* out_ = nullptr;
  std::uintmax_t written_ = 0;
  bool failed_ = false;
};

// Shorthand for the process's log.
inline void Log(LogLevel level, const std::string& subject, const std::string& text) {
  EventLog::Instance().Write(level, subject, text);
}

}  // namespace ostrana
