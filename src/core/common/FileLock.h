// A lock file held for a run, so that two processes never share what it
// guards (the virtual control's TNC drive): the first takes it and writes
// its process id into it, a second is refused and told that id. Released
// when the object goes or the process ends, however it ends.
// One implementation per platform (FileLock_posix.cpp, FileLock_win32.cpp).
//
// Threads: the owner's (the main thread).
#pragma once

#include <cstdint>
#include <string>

namespace ostrana {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Takes the lock at `path` (created when missing). False when another
  // process holds it (`holder`: its process id as written, or "") or the file
  // cannot be made (`why`).
  bool Take(const std::string& path, std::string* holder, std::string* why);
  void Release();
  bool Held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace ostrana
