// One open event-log file, as the log's writer thread needs it: opened for
// appending without waiting (a FIFO nobody reads is refused, not waited
// for), written a whole line at a time or not at all (a full disk leaves no
// torn line), and compared with what its path names now (another program may have moved
// it). One implementation per platform (LogFile_posix.cpp, LogFile_win32.cpp).
//
// Threads: one thread at a time (the log's writer).
#pragma once

#include <cstdint>
#include <string>

namespace ostrana {

class LogFile {
 public:
  LogFile() = default;
  ~LogFile() { Close(); }
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens `path` for appending (created when missing); false with the reason.
  bool Open(const std::string& path, std::string* why);
  void Close();
  bool IsOpen() const { return handle_ != -1; }
  // A regular file on a disk (only those grow and are rotated).
  bool Regular() const;
  std::uintmax_t Size() const;
  // Appends the whole line or nothing; false with the reason.
  bool Write(const std::string& line, std::string* why);
  // Whether `path` still names this open file.
  bool StillAt(const std::string& path) const;

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
};

}  // namespace ostrana
