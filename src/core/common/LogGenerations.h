// One file of the event log with its older generations, as the log's writer
// thread keeps it: a line is appended whole, the file is rotated before a
// line would take it past its size (only a regular file is rotated;
// "<file>.1" is the newest older one), and the lines it could not take are
// counted and the count is written when it takes lines again (or at the end
// of the run: then also on stderr). A file that cannot be renamed at a
// rotation is copied and emptied (or, failing the copy, emptied, saying
// what was lost): it never grows past its size. The log and its audit file
// are one each.
//
// Threads: the log's writer thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "common/LogFile.h"

namespace ostrana {

class LogGenerations {
 public:
  // `stamp` gives the time stamp of a line the file writes of its own.
  explicit LogGenerations(std::function<std::string()> stamp) : stamp_(std::move(stamp)) {}

  void SetLimits(std::uintmax_t fileBytes, int files) {
    fileBytes_ = fileBytes;
    files_ = files;
  }
  // Opens `path` for appending; false when it cannot be written (said once
  // on stderr until it can).
  bool Open(const std::string& path);
  void Close() { file_.Close(); }
  bool IsOpen() const { return file_.IsOpen(); }
  // Open, and still the file its path names (not moved away by another program).
  bool InPlace() const { return file_.IsOpen() && file_.StillAt(path_); }
  const std::string& Path() const { return path_; }
  // Appends `line` (with its line feed), or counts it as not kept.
  void Append(const std::string& line);
  // At the end of the run: the count of lines not kept, if any, on stderr and
  // (when it takes the line) in the file.
  void Finish();

 private:
  void Rotate();

  std::function<std::string()> stamp_;
  std::uintmax_t fileBytes_ = 1 << 20;
  int files_ = 5;
  LogFile file_;
  std::string path_;
  std::uintmax_t written_ = 0;
  std::size_t lost_ = 0;  // lines not kept since the file stopped taking them
  std::string lostWhy_;
  bool rotationFails_ = false;  // the last rotation could not rename the file (said once)
};

}  // namespace ostrana
