#include "common/Process.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace ostrana {

#ifdef _WIN32

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

#else

std::uint32_t CurrentProcessId() { return static_cast<std::uint32_t>(::getpid()); }

#endif

}  // namespace ostrana
