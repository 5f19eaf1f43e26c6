#include <unistd.h>

#include "common/Process.h"

namespace ostrana {

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
  localtime_r(&seconds, &local);
  return local;
}

bool WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  const int fd = fileno(stream);
  if (fd < 0) return false;
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace ostrana
