#include <windows.h>

#include "common/LogFile.h"
#include "common/PathText.h"
#include "common/SystemText.h"

namespace ostrana {
namespace {

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  return GetFileInformationByHandle(a, &x) && GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

}  // namespace

bool LogFile::Open(const std::string& path, std::string* why) {
  Close();
  HANDLE file = CreateFileW(PathOf(path).c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    if (why) *why = SystemText(GetLastError());
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return true;
}

void LogFile::Close() {
  if (handle_ != -1) CloseHandle(Handle(handle_));
  handle_ = -1;
}

bool LogFile::Regular() const { return GetFileType(Handle(handle_)) == FILE_TYPE_DISK; }

std::uintmax_t LogFile::Size() const {
  LARGE_INTEGER size{};
  return GetFileSizeEx(Handle(handle_), &size) ? static_cast<std::uintmax_t>(size.QuadPart) : 0;
}

bool LogFile::Write(const std::string& line, std::string* why) {
  LARGE_INTEGER before{};
  SetFilePointerEx(Handle(handle_), LARGE_INTEGER{}, &before, FILE_END);  // appended, whoever wrote last
  DWORD written = 0;
  const BOOL ok = WriteFile(Handle(handle_), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  if (ok && written == line.size()) return true;
  const DWORD error = ok ? ERROR_DISK_FULL : GetLastError();
  // Part of a line is taken back: no torn line stays.
  if (written > 0 && Regular() && SetFilePointerEx(Handle(handle_), before, nullptr, FILE_BEGIN))
    SetEndOfFile(Handle(handle_));
  if (why) *why = SystemText(error);
  return false;
}

bool LogFile::StillAt(const std::string& path) const {
  HANDLE named =
      CreateFileW(PathOf(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool same = SameFile(Handle(handle_), named);
  CloseHandle(named);
  return same;
}

}  // namespace ostrana
