#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/Process.h"

namespace ostrana {

bool OpenStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // The lowest free number: this one, as those below it are open.
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened != fd) {
      if (opened >= 0) ::close(opened);
      return false;
    }
  }
  return true;
}

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

long WriteSome(std::FILE* stream, const char* data, std::size_t size) {
  const int fd = fileno(stream);
  return fd < 0 ? -1 : static_cast<long>(::write(fd, data, size));
}

}  // namespace ostrana
