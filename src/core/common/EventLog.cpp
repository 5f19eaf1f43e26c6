#include "common/EventLog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "common/Console.h"
#include "common/Process.h"

namespace ostrana {
namespace fs = std::filesystem;

namespace {

std::string Stamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  const std::tm local = LocalTime(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms));
  return text;
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Warning: return "WARN ";
    case LogLevel::Error: return "ERROR";
    case LogLevel::Audit: return "AUDIT";
    default: return "INFO ";
  }
}

}  // namespace

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '\n') {
      out += ' ';  // one event, one line
    } else if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out;
}

EventLog& EventLog::Instance() {
  static EventLog* log = new EventLog;
  return *log;
}

void EventLog::Open(const std::string& file, bool mirror, Limits limits) {
  Close();
  file_ = file;
  mirror_ = mirror;
  limits_ = limits;
  {
    std::lock_guard guard(lock_);
    open_ = true;
    stopping_ = false;
    done_ = false;
    unhandled_ = 0;
    queueLimit_ = limits.queuedLines;
  }
  writer_ = std::thread([this] { Run(); });
}

void EventLog::Close() {
  {
    std::unique_lock guard(lock_);
    if (!open_) return;
    stopping_ = true;
    wake_.notify_one();
    // A writer held by the file system is not waited for past a second: the run ends.
    if (!finished_.wait_for(guard, std::chrono::seconds(1), [&] { return done_; })) {
      open_ = false;
      guard.unlock();
      writer_.detach();
      return;
    }
    open_ = false;
  }
  writer_.join();
}

void EventLog::Write(LogLevel level, const std::string& subject, const std::string& text) {
  std::string line = Printable(Stamp() + " " + LevelName(level) + " " + subject + ": " + text) + "\n";
  {
    std::lock_guard guard(lock_);
    if (!open_ || stopping_) return;
    if (queue_.size() >= queueLimit_) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(line));
    ++unhandled_;
  }
  wake_.notify_one();
}

bool EventLog::Drain(std::chrono::milliseconds bound) {
  std::unique_lock guard(lock_);
  return finished_.wait_for(guard, bound, [&] { return unhandled_ == 0 || done_; });
}

void EventLog::Say(const std::string& text) { console::Err("ostrana: " + text); }

std::string EventLog::OpenFile() {
  std::error_code ec;
  const fs::path path(file_);
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  writing_ = file_;
  std::string why;
  if (!out_.Open(writing_, &why)) {
    if (lostWhy_.empty()) Say("the log " + writing_ + " cannot be written: " + why);
    lostWhy_ = why;
    return {};
  }
  std::string notice;
  // The lock is a file of its own beside the log, never rotated: a second
  // connector is kept off the log whatever the first's rotations do.
  std::string holder;
  if (!logLock_.Held() && !logLock_.Take(file_ + ".lock", &holder, &why) && why.empty()) {
    // Another connector writes this file: this run keeps its own beside it.
    out_.Close();
    writing_ = (path.parent_path() / ("ostrana-" + std::to_string(CurrentProcessId()) + ".log")).string();
    if (!out_.Open(writing_, &why)) {
      Say("the log " + writing_ + " cannot be written: " + why);
      lostWhy_ = why;
      return {};
    }
    const std::string said = "the log " + file_ + " is in use by another connector" +
                             (holder.empty() ? std::string() : " (process " + holder + ")") + ": this run writes " +
                             writing_;
    Say(said);
    notice = Stamp() + " WARN  log: " + said + "\n";
  }
  written_ = out_.Size();
  return notice;
}

void EventLog::Run() {
  std::string notice = OpenFile();
  for (;;) {
    std::deque<std::string> batch;
    std::size_t dropped = 0;
    bool stopping = false;
    {
      std::unique_lock guard(lock_);
      wake_.wait(guard, [&] { return stopping_ || !queue_.empty(); });
      batch.swap(queue_);
      dropped = std::exchange(dropped_, 0);
      stopping = stopping_;
    }
    if (dropped) batch.push_back(Stamp() + " WARN  log: " + std::to_string(dropped) + " lines were not kept\n");
    // Not open (it could not be), or moved away by another program: opened again at its path.
    if (!out_.IsOpen() || !out_.StillAt(writing_)) {
      out_.Close();
      notice = OpenFile();
    }
    if (!notice.empty()) batch.push_front(std::exchange(notice, std::string()));
    for (const auto& line : batch) {
      if (mirror_) console::Err(line.substr(0, line.size() - 1));
      Append(line);
    }
    {
      std::lock_guard guard(lock_);
      unhandled_ = queue_.size();
    }
    finished_.notify_all();
    if (stopping) break;
  }
  out_.Close();
  logLock_.Release();
  {
    std::lock_guard guard(lock_);
    done_ = true;
  }
  finished_.notify_all();
}

void EventLog::Append(const std::string& line) {
  if (!out_.IsOpen()) {
    ++lost_;
    return;
  }
  if (out_.Regular() && written_ > 0 && written_ + line.size() > limits_.fileBytes) Rotate();
  std::string why;
  if (lost_ > 0) {
    // The file takes lines again: first the count of those it did not.
    const std::string notice = Stamp() + " WARN  log: " + std::to_string(lost_) +
                               " lines were not kept: the log could not be written (" + lostWhy_ + ")\n";
    if (!out_.IsOpen() || !out_.Write(notice, &why)) {
      ++lost_;
      return;
    }
    written_ += notice.size();
    lost_ = 0;
    lostWhy_.clear();
  }
  if (out_.IsOpen() && out_.Write(line, &why)) {
    written_ += line.size();
    return;
  }
  if (lostWhy_.empty())
    Say("the log " + writing_ + " cannot be written: " + why + "; its lines are counted until it can");
  lostWhy_ = why.empty() ? "it is not open" : why;
  ++lost_;
}

void EventLog::Rotate() {
  out_.Close();
  std::error_code ec;
  // ostrana.log.3 -> .4, ..., ostrana.log -> .1; the oldest goes.
  for (int i = limits_.files - 1; i >= 1; --i) {
    const std::string from = i == 1 ? writing_ : writing_ + "." + std::to_string(i - 1);
    // A file another program holds open for a moment (a virus scanner, an
    // indexer) cannot be renamed on Windows: tried again a little later.
    for (int attempt = 0; attempt < 5; ++attempt) {
      fs::rename(from, writing_ + "." + std::to_string(i), ec);
      std::error_code missing;
      if (!ec || !fs::exists(from, missing)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }
  std::string why;
  if (!out_.Open(writing_, &why) && lostWhy_.empty()) {
    Say("the log " + writing_ + " cannot be written: " + why);
    lostWhy_ = why;
  }
  written_ = 0;
}

}  // namespace ostrana
