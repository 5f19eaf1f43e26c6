#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/LogFile.h"

namespace ostrana {

bool LogFile::Open(const std::string& path, std::string* why) {
  Close();
  // O_NONBLOCK: a FIFO without a reader fails at once (ENXIO) instead of
  // holding the writer, and a full one refuses a line instead of waiting.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (why) *why = errno == ENXIO ? "it is a FIFO nobody reads" : std::strerror(errno);
    return false;
  }
  handle_ = fd;
  return true;
}

void LogFile::Close() {
  if (handle_ != -1) ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool LogFile::Regular() const {
  struct stat st {};
  return ::fstat(static_cast<int>(handle_), &st) == 0 && S_ISREG(st.st_mode);
}

std::uintmax_t LogFile::Size() const {
  struct stat st {};
  return ::fstat(static_cast<int>(handle_), &st) == 0 ? static_cast<std::uintmax_t>(st.st_size) : 0;
}

bool LogFile::Write(const std::string& line, std::string* why) {
  const int fd = static_cast<int>(handle_);
  const bool regular = Regular();
  const off_t before = regular ? static_cast<off_t>(Size()) : 0;
  const ssize_t n = ::write(fd, line.data(), line.size());
  if (n == static_cast<ssize_t>(line.size())) return true;
  const int error = n < 0 ? errno : ENOSPC;
  // Part of a line on a regular file is taken back: no torn line stays.
  if (n > 0 && regular) {
    const int undone = ::ftruncate(fd, before);
    (void)undone;  // what cannot be taken back stays; the failure is said all the same
  }
  if (why) *why = error == EAGAIN ? "nobody reads it" : std::strerror(error);
  return false;
}

bool LogFile::StillAt(const std::string& path) const {
  struct stat open {
  }, named{};
  return ::fstat(static_cast<int>(handle_), &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

}  // namespace ostrana
