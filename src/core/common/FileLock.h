// A lock file held for a run, so that two processes never share what it
// guards (the virtual control's TNC drive): the first takes it and writes
// its process id into it, a second is refused and told that id (and what
// the holder noted on the next line: where its connector listens). Released
// when the object goes or the process ends, however it ends. On Windows the
// holder also keeps a named mark beside it, so that a file another program
// merely has open (a backup tool) is not taken for a connector's lock.
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

  // Takes the lock at `path` (created when missing). False either when
  // another holder of such a lock has it (`holder`: its process id as written,
  // or ""; `why` left empty) or when the lock cannot be had for any other
  // reason (`why`: the system's reason): a link, a folder or another kind of
  // file at the path, a file that cannot be written, one another program has
  // open (Windows), a file system without locks.
  // The holder's note, if any, follows its id on a line of its own in `holder`.
  bool Take(const std::string& path, std::string* holder, std::string* why);
  // Held: the file says this process's id, then `note` on the next line.
  void Note(const std::string& note);
  void Release();
  bool Held() const { return handle_ != -1; }

 private:
  std::intptr_t handle_ = -1;
  std::intptr_t mark_ = 0;  // Windows: the named mark that says a connector holds the file
};

}  // namespace ostrana
