// A system error number in the system's own words: strerror on POSIX, the
// system's message table (FormatMessage) on Windows, where Winsock's and
// the Win32 API's numbers share one table. Any thread.
#pragma once

#include <string>

namespace ostrana {

std::string SystemText(unsigned long code);

}  // namespace ostrana
