#include "common/EventLog.h"

#include <algorithm>
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

// "2026-12-07 08:14:02.411", or its time of day only.
std::string TimeText(std::chrono::system_clock::time_point at, bool dayToo) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  const std::tm local = LocalTime(seconds);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec, static_cast<int>(ms));
  return dayToo ? text : text + 11;
}

const char* LevelName(LogLevel level) {
  switch (level) {
    case LogLevel::Warning: return "WARN ";
    case LogLevel::Error: return "ERROR";
    case LogLevel::Audit: return "AUDIT";
    default: return "INFO ";
  }
}

bool IsAudit(const std::string& key) { return key.compare(0, 5, "AUDIT") == 0; }

std::string Times(std::size_t count) { return std::to_string(count) + (count == 1 ? " time" : " times"); }

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

std::string EventLog::AuditPath(const std::string& log) {
  const fs::path path(log);
  return (path.parent_path() / (path.stem().string() + "-audit" + path.extension().string())).string();
}

std::string EventLog::Stamp() const { return TimeText(clock_(), true); }

void EventLog::Open(const std::string& file, bool mirror, Limits limits) {
  Close();
  file_ = file;
  mirror_ = mirror;
  limits_ = limits;
  out_.SetLimits(limits.fileBytes, limits.files);
  audit_.SetLimits(limits.auditBytes, limits.auditFiles);
  {
    std::lock_guard guard(lock_);
    open_ = true;
    stopping_ = false;
    done_ = false;
    unhandled_ = 0;
    queueLimit_ = limits.queuedLines;
    fold_ = RepeatFold();
    tally_ = Tally();
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

void EventLog::Write(LogLevel level, const std::string& subject, const std::string& text,
                     std::chrono::milliseconds fold) {
  const auto now = clock_();
  const std::string key = std::string(LevelName(level)) + " " + subject + ": " + text;
  std::string line = Printable(TimeText(now, true) + " " + key);
  {
    std::lock_guard guard(lock_);
    if (!open_ || stopping_) return;
    QueueDue(false);
    RepeatFold::Folded before;
    if (!fold_.Pass(key, now, fold, before)) {
      ++tally_.folded;
      return;
    }
    if (queue_.size() >= queueLimit_) {
      ++dropped_;
      if (level == LogLevel::Audit) ++droppedAudit_;
      return;
    }
    if (before.count) line += " (and " + Times(before.count) + " more since " + TimeText(before.first, false) + ")";
    queue_.push_back({std::move(line) + "\n", level == LogLevel::Audit});
    ++unhandled_;
  }
  wake_.notify_one();
}

void EventLog::QueueDue(bool all) {
  if (!fold_.NextDue()) return;
  const auto now = clock_();
  for (const auto& [key, folded] : fold_.TakeDue(now, all)) {
    queue_.push_back({Printable(TimeText(now, true) + " " + key) + " (" + Times(folded.count) + " from " +
                          TimeText(folded.first, false) + " to " + TimeText(folded.last, false) + ")\n",
                      IsAudit(key)});
    ++unhandled_;
  }
}

EventLog::Tally EventLog::Counted() {
  std::lock_guard guard(lock_);
  return tally_;
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
  if (!out_.Open(file_)) return {};
  std::string notice;
  // The lock is a file of its own beside the log, never rotated: a second
  // connector is kept off the log and its audit file whatever the first's
  // rotations do.
  std::string holder, why;
  if (!logLock_.Held() && !logLock_.Take(file_ + ".lock", &holder, &why) && why.empty()) {
    // Another connector writes this file: this run keeps its own beside it.
    out_.Close();
    const std::string own = (path.parent_path() / ("ostrana-" + std::to_string(CurrentProcessId()) + ".log")).string();
    if (!out_.Open(own)) return {};
    const std::string said = "the log " + file_ + " is in use by another connector" +
                             (holder.empty() ? std::string() : " (process " + holder + ")") + ": this run writes " +
                             own;
    Say(said);
    notice = Stamp() + " WARN  log: " + said + "\n";
  }
  return notice;
}

void EventLog::Run() {
  std::string notice = OpenFile();
  for (;;) {
    std::deque<Queued> batch;
    std::size_t dropped = 0, droppedAudit = 0;
    bool stopping = false;
    {
      std::unique_lock guard(lock_);
      // Woken by a line, the end of the run, or a count of repeats falling due.
      while (!stopping_ && queue_.empty()) {
        const auto due = fold_.NextDue();
        const auto now = clock_();
        if (due && *due <= now) break;
        if (due)
          wake_.wait_for(guard, std::min<std::chrono::system_clock::duration>(*due - now, RepeatFold::kCountWait));
        else
          wake_.wait(guard);
      }
      QueueDue(stopping_);  // at the end of the run every count is written
      batch.swap(queue_);
      dropped = std::exchange(dropped_, 0);
      droppedAudit = std::exchange(droppedAudit_, 0);
      stopping = stopping_;
    }
    // The audit file learns of its own lines not kept.
    if (dropped)
      batch.push_back({Stamp() + " WARN  log: " + std::to_string(dropped) + " lines were not kept" +
                           (droppedAudit ? " (" + std::to_string(droppedAudit) + " of them AUDIT)\n" : "\n"),
                       droppedAudit > 0});
    // Not open (it could not be), or moved away by another program: opened again at its path.
    if (!out_.InPlace()) {
      out_.Close();
      notice = OpenFile();
    }
    // The audit file goes with the log this run writes, once there is one and an AUDIT line for it.
    const bool audits = std::any_of(batch.begin(), batch.end(), [](const Queued& q) { return q.audit; });
    if (audits && out_.IsOpen() && (!audit_.InPlace() || audit_.Path() != AuditPath(out_.Path()))) {
      audit_.Close();
      audit_.Open(AuditPath(out_.Path()));
    }
    if (!notice.empty()) batch.push_front({std::exchange(notice, std::string())});
    std::uint64_t audited = 0;
    for (const auto& [line, audit] : batch) {
      if (mirror_) console::Err(line.substr(0, line.size() - 1));
      out_.Append(line);
      if (audit) {
        audit_.Append(line);
        ++audited;
      }
    }
    {
      std::lock_guard guard(lock_);
      unhandled_ = queue_.size();
      tally_.lines += batch.size();
      tally_.auditLines += audited;
    }
    finished_.notify_all();
    if (stopping) break;
  }
  out_.Close();
  audit_.Close();
  logLock_.Release();
  {
    std::lock_guard guard(lock_);
    done_ = true;
  }
  finished_.notify_all();
}

}  // namespace ostrana
