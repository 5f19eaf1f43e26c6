#include <io.h>
#include <windows.h>

#include "common/Process.h"

namespace ostrana {

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::tm LocalTime(std::time_t seconds) {
  std::tm local{};
  localtime_s(&local, &seconds);
  return local;
}

bool WriteToStream(std::FILE* stream, const char* data, std::size_t size) {
  const int fd = _fileno(stream);
  if (fd < 0) return false;
  for (std::size_t done = 0; done < size;) {
    const int n = _write(fd, data + done, static_cast<unsigned>(size - done));
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace ostrana
