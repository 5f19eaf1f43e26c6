#include <windows.h>

#include <cstdio>

#include "common/NewFile.h"
#include "common/PathText.h"
#include "common/SystemText.h"

namespace ostrana {

bool WriteNewFile(const std::string& path, const std::string& text, std::string* why) {
  // CREATE_NEW fails on anything already there, a link included.
  HANDLE file =
      CreateFileW(PathOf(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (why) *why = SystemText(GetLastError());
    return false;
  }
  DWORD written = 0;
  const BOOL ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  const DWORD error = ok && written == text.size() ? 0 : (ok ? ERROR_DISK_FULL : GetLastError());
  CloseHandle(file);
  if (error) {
    if (why) *why = SystemText(error);
    DeleteFileW(PathOf(path).c_str());
    return false;
  }
  return true;
}
}  // namespace ostrana
