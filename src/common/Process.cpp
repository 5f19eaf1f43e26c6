#include "common/Process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace ostrana {

#ifdef _WIN32

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

bool ProcessAlive(std::uint32_t pid) {
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return GetLastError() == ERROR_ACCESS_DENIED;  // exists, but not ours to open
  DWORD code = 0;
  const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
  CloseHandle(process);
  return running;
}

#else

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

bool ProcessAlive(std::uint32_t pid) {
  if (pid == 0 || pid > 0x7FFFFFFF) return false;
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

#endif

}  // namespace ostrana
