#include <io.h>
#include <windows.h>

#include "common/Process.h"
#include "common/WideText.h"

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
  if (fd < 0) return -1;
  // A console is written wide: the program's UTF-8 shows as itself whatever
  // the console's code page. A pipe or a file gets the UTF-8 as it is.
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  DWORD mode = 0;
  if (handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Wide(std::string(data, size));
    DWORD written = 0;
    if (!wide.empty() && !WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr))
      return -1;
    return static_cast<long>(size);
  }
  return _write(fd, data, static_cast<unsigned>(size));
}

}  // namespace ostrana
