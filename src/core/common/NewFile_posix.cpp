#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "common/NewFile.h"

namespace ostrana {

bool WriteNewFile(const std::string& path, const std::string& text, std::string* why) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) {
    if (why) *why = std::strerror(errno);
    return false;
  }
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  const int error = done == text.size() ? 0 : (errno ? errno : ENOSPC);
  if (::close(fd) != 0 || error) {
    if (why) *why = std::strerror(error ? error : errno);
    ::unlink(path.c_str());
    return false;
  }
  return true;
}
}  // namespace ostrana
