// Where a run keeps its TNC drive and its event log when none is given: the
// user's local application data, as the system names it (the known folder,
// not the environment: a service or a scheduled task may have no
// LOCALAPPDATA, and a folder named from nothing would be the drive's root).
#include <windows.h>
#include <shlobj.h>

#include "common/SystemText.h"
#include "common/WideText.h"
#include "run/CommandLine.h"

namespace ostrana::run {

namespace {
// The folder in UTF-8, or "" with the reason in `why`.
std::string LocalAppData(std::string* why) {
  PWSTR folder = nullptr;
  // Flags 0: the folder must exist.
  const HRESULT hr = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &folder);
  std::string text = SUCCEEDED(hr) && folder ? Utf8(std::wstring(folder)) : std::string();
  CoTaskMemFree(folder);
  if (text.empty() && why)
    *why = "the system names no local application data folder for this user (" +
           SystemText(static_cast<unsigned long>(HRESULT_CODE(hr))) + ")";
  return text;
}
std::string Under(const char* rest) {
  const std::string folder = LocalAppData(nullptr);
  return folder.empty() ? std::string() : folder + rest;
}
}  // namespace

std::string DefaultTncRoot() { return Under("\\Ostrana\\tnc"); }
std::string DefaultLogFile() { return Under("\\Ostrana\\ostrana.log"); }
std::string DefaultFoldersProblem() {
  std::string why;
  return LocalAppData(&why).empty() ? why : std::string();
}

}  // namespace ostrana::run
