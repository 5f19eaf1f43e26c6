#include "common/EventLog.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

namespace ostrana {
namespace fs = std::filesystem;

namespace {

std::string Stamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
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

EventLog& EventLog::Instance() {
  static EventLog log;
  return log;
}

void EventLog::Open(const std::string& file, bool mirror, Limits limits) {
  Close();
  file_ = file;
  mirror_ = mirror;
  limits_ = limits;
  failed_ = false;
  {
    std::lock_guard guard(lock_);
    open_ = true;
    stopping_ = false;
    queueLimit_ = limits.queuedLines;
  }
  writer_ = std::thread([this] { Run(); });
}

void EventLog::Close() {
  {
    std::lock_guard guard(lock_);
    if (!open_) return;
    stopping_ = true;
  }
  wake_.notify_one();
  writer_.join();
  std::lock_guard guard(lock_);
  open_ = false;
}

void EventLog::Write(LogLevel level, const std::string& subject, const std::string& text) {
  std::string line = Stamp() + " " + LevelName(level) + " " + subject + ": " + text;
  for (char& ch : line)
    if (ch == '\n' || ch == '\r') ch = ' ';  // one event, one line
  line += '\n';
  {
    std::lock_guard guard(lock_);
    if (!open_ || stopping_) return;
    if (queue_.size() >= queueLimit_) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(line));
  }
  wake_.notify_one();
}

void EventLog::Run() {
  std::error_code ec;
  const fs::path path(file_);
  if (path.has_parent_path()) fs::create_directories(path.parent_path(), ec);
  out_ = std::fopen(file_.c_str(), "a");
  if (!out_) {
    std::fprintf(stderr, "ostrana: the log %s cannot be written: %s\n", file_.c_str(), std::strerror(errno));
    failed_ = true;
  } else {
    written_ = fs::file_size(path, ec);
    if (ec) written_ = 0;
  }
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
    for (const auto& line : batch) {
      if (mirror_) std::fputs(line.c_str(), stderr);
      Append(line);
    }
    if (mirror_) std::fflush(stderr);
    if (out_) std::fflush(out_);
    if (stopping) break;
  }
  if (out_) std::fclose(out_);
  out_ = nullptr;
}

bool EventLog::Append(const std::string& line) {
  if (!out_) return false;
  if (written_ + line.size() > limits_.fileBytes && written_ > 0) Rotate();
  if (!out_) return false;
  if (std::fputs(line.c_str(), out_) < 0) {
    if (!failed_)
      std::fprintf(stderr, "ostrana: the log %s cannot be written: %s\n", file_.c_str(), std::strerror(errno));
    failed_ = true;
    return false;
  }
  written_ += line.size();
  return true;
}

void EventLog::Rotate() {
  std::fclose(out_);
  out_ = nullptr;
  std::error_code ec;
  // ostrana.log.3 -> .4, ..., ostrana.log -> .1; the oldest goes.
  for (int i = limits_.files - 1; i >= 1; --i) {
    const std::string from = i == 1 ? file_ : file_ + "." + std::to_string(i - 1);
    fs::rename(from, file_ + "." + std::to_string(i), ec);
  }
  out_ = std::fopen(file_.c_str(), "w");
  written_ = 0;
  if (!out_ && !failed_) {
    std::fprintf(stderr, "ostrana: the log %s cannot be written: %s\n", file_.c_str(), std::strerror(errno));
    failed_ = true;
  }
}

}  // namespace ostrana
