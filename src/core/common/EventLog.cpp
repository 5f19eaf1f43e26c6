#include "common/EventLog.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <filesystem>
#include <system_error>
#include <thread>
#include <utility>

#include "common/Console.h"
#include "common/PathText.h"
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

// Four letters or digits drawn for the run: lines of two runs that ever share a file stay apart.
std::string RunMark() {
  static const char kSigns[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::random_device random;
  std::string mark;
  for (int i = 0; i < 4; ++i) mark += kSigns[random() % 36];
  return mark;
}

std::string Times(std::size_t count) { return std::to_string(count) + (count == 1 ? " time" : " times"); }

}  // namespace

namespace {

// The length of the UTF-8 character at `at` (its code point in `point`), or 0
// when the bytes there are not one (a stray byte, an overlong form, a surrogate).
std::size_t Utf8At(const std::string& text, std::size_t at, char32_t* point) {
  const auto byte = [&](std::size_t i) { return at + i < text.size() ? static_cast<unsigned char>(text[at + i]) : 0; };
  const unsigned lead = byte(0);
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4) return 0;
  char32_t code = lead & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
  *point = code;
  return length;
}

// What a terminal acts on or a reader takes for the end of a line: the C0
// and C1 controls, DEL, and the Unicode line and paragraph separators.
bool Steers(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F) || code == 0x2028 || code == 0x2029; }

}  // namespace

std::string PrintableField(const std::string& text) {
  std::string out;
  for (std::size_t from = 0;;) {
    const std::size_t end = text.find('\n', from);
    out += Printable(text.substr(from, end == std::string::npos ? std::string::npos : end - from));
    if (end == std::string::npos) return out;
    out += '\n';
    from = end + 1;
  }
}

std::string Printable(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  bool afterBackslash = false;
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = static_cast<unsigned char>(text[at]);
    std::size_t length = code < 0x80 ? 1 : Utf8At(text, at, &code);
    const bool escaped = length == 0 || Steers(code);
    if (length == 0) length = 1;  // a byte that is no character is written as itself, escaped
    std::string chunk;
    if (text[at] == '\n') {
      chunk = " ";  // one event, one line
    } else if (escaped) {
      for (std::size_t i = 0; i < length; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(text[at + i]));
        chunk += hex;
      }
    } else {
      chunk = text.substr(at, length);
    }
    // A backslash that would read as the start of an escape is doubled; any
    // other (a Windows path's) stands for itself.
    if (afterBackslash && (chunk[0] == '\\' || chunk[0] == 'x')) out += '\\';
    out += chunk;
    afterBackslash = chunk == "\\";
    at += length;
  }
  return out;
}

std::string FromPrintable(const std::string& printed) {
  auto hex = [](char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; };
  std::string text;
  bool afterBackslash = false;
  for (std::size_t at = 0; at < printed.size();) {
    if (afterBackslash && printed[at] == '\\') ++at;  // the doubling before an escape's or a backslash's start
    afterBackslash = false;
    if (at >= printed.size()) break;
    if (printed.compare(at, 2, "\\x") == 0 && at + 3 < printed.size() && hex(printed[at + 2]) && hex(printed[at + 3])) {
      text += static_cast<char>(std::stoi(printed.substr(at + 2, 2), nullptr, 16));
      at += 4;
      continue;
    }
    afterBackslash = printed[at] == '\\';
    text += printed[at++];
  }
  return text;
}

EventLog& EventLog::Instance() {
  static EventLog* log = new EventLog;
  return *log;
}

std::string EventLog::AuditPath(const std::string& log) {
  const fs::path path = PathOf(log);
  return TextOf(path.parent_path() / PathOf(TextOf(path.stem()) + "-audit" + TextOf(path.extension())));
}

EventLog::EventLog() : mark_(RunMark()) {}

std::string EventLog::Stamp() const { return TimeText(clock_(), true) + " " + mark_; }

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
    foldedEvents_.clear();
    tally_ = Tally();
    reports_ = platform_.Installed();
  }
  writer_ = std::thread([this] { Run(); });
}

void EventLog::OpenHeld(const std::string& file, bool mirror) {
  Close();
  {
    std::lock_guard guard(lock_);
    held_ = true;
  }
  Open(file, mirror);
}

void EventLog::Keep() {
  {
    std::lock_guard guard(lock_);
    held_ = false;
  }
  wake_.notify_one();
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
  std::lock_guard guard(lock_);
  held_ = false;
}

void EventLog::Write(LogLevel level, const std::string& subject, const std::string& text, const LogEvent& event,
                     std::chrono::milliseconds fold) {
  const auto now = clock_();
  const std::string key = std::string(LevelName(level)) + " " + subject + ": " + text;
  std::string line = Printable(TimeText(now, true) + " " + mark_ + " " + key);
  std::optional<PlatformEntry> entry;
  if (event.id != EventId::None && reports_.load(std::memory_order_relaxed)) {
    entry = PlatformEntry{level, Printable(subject + ": " + text), event, 0};
    // A client's bytes in a field steer no collector's terminal either.
    for (std::string* field : {&entry->event.client, &entry->event.machine, &entry->event.command,
                               &entry->event.values, &entry->event.result, &entry->event.reason})
      *field = PrintableField(*field);
  }
  {
    std::lock_guard guard(lock_);
    if (!open_ || stopping_) return;
    QueueDue(false);
    RepeatFold::Folded before;
    if (!fold_.Pass(key, now, fold, before)) {
      ++tally_.folded;
      // Its count reaches the platform's log too, with the event.
      if (entry) foldedEvents_.try_emplace(key, std::move(*entry));
      return;
    }
    if (before.count) foldedEvents_.erase(key);
    if (queue_.size() >= queueLimit_) {
      ++dropped_;
      if (level == LogLevel::Audit) ++droppedAudit_;
      return;
    }
    if (before.count) {
      const std::string counted = " (and " + Times(before.count) + " more since " + TimeText(before.first, false) + ")";
      line += counted;
      if (entry) {
        entry->message += counted;
        entry->repeats = before.count;
      }
    }
    queue_.push_back({std::move(line) + "\n", level == LogLevel::Audit, std::move(entry)});
    ++unhandled_;
  }
  wake_.notify_one();
}

void EventLog::QueueDue(bool all) {
  if (!fold_.NextDue()) return;
  const auto now = clock_();
  for (const auto& [key, folded] : fold_.TakeDue(now, all)) {
    const std::string counted = " (" + Times(folded.count) + " from " + TimeText(folded.first, false) + " to " +
                                TimeText(folded.last, false) + ")";
    std::optional<PlatformEntry> entry;
    if (auto found = foldedEvents_.extract(key)) {
      entry = std::move(found.mapped());
      entry->message += counted;
      entry->repeats = folded.count;
    }
    queue_.push_back(
        {Printable(TimeText(now, true) + " " + mark_ + " " + key) + counted + "\n", IsAudit(key), std::move(entry)});
    ++unhandled_;
  }
}

std::optional<PlatformEntry> EventLog::OwnEntry(EventId id, const std::string& message) const {
  if (!reports_.load(std::memory_order_relaxed)) return std::nullopt;
  return PlatformEntry{LogLevel::Warning, Printable(message), LogEvent(id), 0};
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
  const fs::path path = PathOf(file_);
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  if (!out_.Open(file_)) return {};
  std::string notice;
  // The lock is a file of its own beside the log, never rotated: a second
  // connector is kept off the log and its audit file whatever the first's
  // rotations do.
  std::string holder, why;
  if (!logLock_.Held() && !logLock_.Take(file_ + ".lock", &holder, &why)) {
    // Another connector writes this file, or its lock cannot be had (a
    // folder, a link, a file this user cannot write at its name): this run
    // keeps its own beside it rather than share it unannounced.
    out_.Close();
    const std::string own = TextOf(path.parent_path() / ("ostrana-" + std::to_string(CurrentProcessId()) + ".log"));
    const std::string said = (why.empty() ? "the log " + file_ + " is in use by another connector" +
                                                (holder.empty() ? std::string() : " (process " + holder + ")")
                                          : "the log's lock " + file_ + ".lock cannot be had (" + why + ")") +
                             ": this run writes " + own;
    if (said != lockSaid_) Say(said);  // once, however often the file is opened again
    lockSaid_ = said;
    if (!out_.Open(own)) return {};
    notice = Stamp() + " WARN  log: " + said + "\n";
    noticeEntry_ = OwnEntry(EventId::LogOfItsOwn, "log: " + said);
  }
  return notice;
}

void EventLog::Tell(Queued& queued) {
  if (std::exchange(queued.told, true)) return;
  const bool reported = queued.entry && platform_.Report(*queued.entry);
  if (mirror_ && !(reported && platform_.TakesMirror()))
    console::ErrPrintable(queued.line.substr(0, queued.line.size() - 1));
}

void EventLog::Run() {
  std::string notice;
  std::deque<Queued> waiting;  // mirrored while the file was held, not yet written
  for (;;) {
    std::deque<Queued> batch;
    std::size_t dropped = 0, droppedAudit = 0;
    bool stopping = false, held = false;
    {
      std::unique_lock guard(lock_);
      // Woken by a line, the end of the run, a count of repeats falling due, or the file kept.
      while (!stopping_ && queue_.empty() && (held_ || waiting.empty())) {
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
      held = held_;
    }
    // The audit file learns of its own lines not kept.
    if (dropped) {
      const std::string said = "log: " + std::to_string(dropped) + " lines were not kept" +
                               (droppedAudit ? " (" + std::to_string(droppedAudit) + " of them AUDIT)" : "");
      batch.push_back({Stamp() + " WARN  " + said + "\n", droppedAudit > 0, OwnEntry(EventId::LinesNotKept, said)});
    }
    if (held) {  // stderr and the platform's log have the lines now; the file when it is kept
      for (auto& queued : batch) Tell(queued);
      waiting.insert(waiting.end(), batch.begin(), batch.end());
      batch.clear();
    } else {
      batch.insert(batch.begin(), waiting.begin(), waiting.end());
      waiting.clear();
    }
    // Not open yet (or it could not be), or moved away by another program: opened at its path.
    if (!held && !out_.InPlace()) {
      out_.Close();
      notice = OpenFile();
    }
    // The audit file goes with the log this run writes, once there is one and an AUDIT line for it.
    const bool audits = std::any_of(batch.begin(), batch.end(), [](const Queued& q) { return q.audit; });
    if (audits && out_.IsOpen() && (!audit_.InPlace() || audit_.Path() != AuditPath(out_.Path()))) {
      audit_.Close();
      audit_.Open(AuditPath(out_.Path()));
    }
    if (!notice.empty())
      batch.push_front({std::exchange(notice, std::string()), false, std::exchange(noticeEntry_, std::nullopt)});
    std::uint64_t audited = 0;
    for (auto& queued : batch) {
      out_.Append(queued.line);
      if (queued.audit) {
        audit_.Append(queued.line);
        ++audited;
      }
      Tell(queued);  // the file first: the platform's log is the second record, never the cause of a line missing
    }
    // A platform's log that refuses costs this one line in the file, once
    // (with the lines that wait, while the file waits).
    std::size_t said = 0;
    if (const std::string refused = platform_.TakeNotice(); !refused.empty()) {
      Queued notice{Stamp() + " WARN  log: " + refused + "\n", false, std::nullopt};
      Tell(notice);
      if (held) {
        waiting.push_back(std::move(notice));
      } else {
        out_.Append(notice.line);
        said = 1;
      }
    }
    {
      std::lock_guard guard(lock_);
      unhandled_ = queue_.size();
      tally_.lines += batch.size() + said;
      tally_.auditLines += audited;
      tally_.reported = platform_.Reported();
      tally_.refused = platform_.Refused();
    }
    finished_.notify_all();
    if (stopping) break;
  }
  out_.Finish();
  audit_.Finish();
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
