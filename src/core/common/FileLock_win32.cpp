#include <windows.h>

#include <cstdio>
#include <string>

#include "common/FileLock.h"
#include "common/PathText.h"
#include "common/SystemText.h"

namespace ostrana {

namespace {

// The name of the mark a connector holds beside a lock file it has: a
// program that merely has the file open (a backup tool) holds none, so a
// refused run can tell the two apart. Named after the file itself (its
// volume and number), which is one however its path is written.
std::string MarkName(HANDLE file) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) return {};
  char name[64];
  std::snprintf(name, sizeof name, "Global\\OstranaLock-%08lx-%08lx%08lx", info.dwVolumeSerialNumber,
                info.nFileIndexHigh, info.nFileIndexLow);
  return name;
}

// Whether a connector holds the lock file at `path` (another has it open).
bool ConnectorHolds(const std::string& path) {
  // Opened for its attributes only, which no sharing mode refuses.
  HANDLE file =
      CreateFileW(PathOf(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const std::string name = MarkName(file);
  CloseHandle(file);
  if (name.empty()) return false;
  HANDLE mark = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  if (mark) CloseHandle(mark);
  // Denied: there, made by a connector of another session under its own rights.
  return mark || GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace

bool FileLock::Take(const std::string& path, std::string* holder, std::string* why) {
  Release();
  if (holder) holder->clear();
  if (why) why->clear();
  // Shared for reading only: a second run's open for writing is refused, and
  // it can still read who holds the lock.
  HANDLE file = CreateFileW(PathOf(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION && ConnectorHolds(path)) {
      HANDLE reading = CreateFileW(PathOf(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      char text[32] = "";
      DWORD n = 0;
      if (reading != INVALID_HANDLE_VALUE) {
        ReadFile(reading, text, sizeof text - 1, &n, nullptr);
        CloseHandle(reading);
      }
      if (holder) *holder = std::string(text, n);
      if (holder) holder->erase(holder->find_last_not_of(" \r\n") + 1);
      if (holder && holder->find('\r') != std::string::npos) holder->erase(holder->find('\r'), 1);
    } else if (why) {
      // Another program's open, a folder, a file that cannot be written: the
      // number in the file, if any, names no one.
      *why = SystemText(error);
    }
    return false;
  }
  // Without its mark the lock would still keep a second connector off, only
  // that connector could not say who holds it: held all the same.
  const std::string name = MarkName(file);
  if (!name.empty()) mark_ = reinterpret_cast<std::intptr_t>(CreateMutexA(nullptr, FALSE, name.c_str()));
  handle_ = reinterpret_cast<std::intptr_t>(file);
  Note("");
  return true;
}

void FileLock::Note(const std::string& note) {
  if (handle_ == -1) return;
  HANDLE file = reinterpret_cast<HANDLE>(handle_);
  const std::string text = std::to_string(GetCurrentProcessId()) + "\r\n" + (note.empty() ? "" : note + "\r\n");
  DWORD written = 0;
  SetFilePointer(file, 0, nullptr, FILE_BEGIN);
  SetEndOfFile(file);
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void FileLock::Release() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
  if (mark_) CloseHandle(reinterpret_cast<HANDLE>(mark_));
  handle_ = -1;
  mark_ = 0;
}

}  // namespace ostrana
