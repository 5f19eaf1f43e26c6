#include <windows.h>

#include <string>

#include "common/FileLock.h"
#include "common/SystemText.h"

namespace ostrana {

bool FileLock::Take(const std::string& path, std::string* holder, std::string* why) {
  Release();
  // Shared for reading only: a second run's open for writing is refused, and
  // it can still read who holds the lock.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION) {
      HANDLE reading = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      char text[32] = "";
      DWORD n = 0;
      if (reading != INVALID_HANDLE_VALUE) {
        ReadFile(reading, text, sizeof text - 1, &n, nullptr);
        CloseHandle(reading);
      }
      if (holder) *holder = std::string(text, n);
      if (holder) holder->erase(holder->find_last_not_of(" \r\n") + 1);
    } else if (why) {
      *why = SystemText(error);
    }
    return false;
  }
  const std::string pid = std::to_string(GetCurrentProcessId()) + "\r\n";
  DWORD written = 0;
  SetEndOfFile(file);
  WriteFile(file, pid.data(), static_cast<DWORD>(pid.size()), &written, nullptr);
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void FileLock::Release() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  handle_ = -1;
}

}  // namespace ostrana
