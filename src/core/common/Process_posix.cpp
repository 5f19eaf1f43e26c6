#include <unistd.h>

#include "common/Process.h"

namespace ostrana {

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
