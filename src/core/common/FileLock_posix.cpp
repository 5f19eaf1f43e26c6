#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "common/FileLock.h"

namespace ostrana {

bool FileLock::Take(const std::string& path, std::string* holder, std::string* why) {
  Release();
  if (holder) holder->clear();
  if (why) why->clear();
  // No link followed, and no wait on a FIFO planted at the name.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (why) *why = "it is not a regular file";
    ::close(fd);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    if (error != EWOULDBLOCK) {
      // Not held by anyone: the lock cannot be had here (a file system without locks).
      if (why) *why = std::strerror(error);
      ::close(fd);
      return false;
    }
    char text[32] = "";
    const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
    if (holder) *holder = std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    if (holder) holder->erase(holder->find_last_not_of(" \n") + 1);
    ::close(fd);
    return false;
  }
  handle_ = fd;
  Note("");
  return true;
}

void FileLock::Note(const std::string& note) {
  if (handle_ == -1) return;
  const int fd = static_cast<int>(handle_);
  const std::string text = std::to_string(::getpid()) + "\n" + (note.empty() ? "" : note + "\n");
  if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    // Held all the same; only what a second run's message says is missing.
  }
}

void FileLock::Release() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

}  // namespace ostrana
