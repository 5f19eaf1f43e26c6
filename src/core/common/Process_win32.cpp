#include <io.h>
#include <windows.h>

#include "common/Process.h"

namespace ostrana {

bool OpenStandardStreams() { return true; }

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
  localtime_s(&local, &seconds);
  return local;
}

long WriteSome(std::FILE* stream, const char* data, std::size_t size) {
  const int fd = _fileno(stream);
  return fd < 0 ? -1 : _write(fd, data, static_cast<unsigned>(size));
}

}  // namespace ostrana
