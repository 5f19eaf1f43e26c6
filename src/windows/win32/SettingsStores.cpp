#include "win32/SettingsStores.h"

#include <windows.h>

#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/Folders.h"
#include "win32/WinsockClientTransport.h"

namespace ostrana::win32 {
namespace {

const char* const kNames[] = {"PortNumber", "xTopLeft", "yTopLeft", "Mute"};

std::int32_t* Field(platform::Settings& settings, int index, std::int32_t& mute) {
  switch (index) {
    case 0: return &settings.portNumber;
    case 1: return &settings.xTopLeft;
    case 2: return &settings.yTopLeft;
    default: return &mute;
  }
}

// A text value, or nothing; one of another type is named in `problems`
// and read as `otherwise`.
std::string ReadString(HKEY key, const char* name, std::vector<std::string>& problems, const std::string& otherwise) {
  char value[1024];
  DWORD size = sizeof value;
  DWORD type = 0;
  const LONG status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  if (status == ERROR_SUCCESS && type == REG_SZ) return std::string(value, strnlen(value, size));
  problems.push_back(std::string("the registry value ") + name + " is not a text (REG_SZ): it is not used");
  return otherwise;
}

}  // namespace

platform::Settings RegistrySettingsStore::Load() const {
  platform::Settings settings;
  HKEY key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return settings;
  std::int32_t mute = 0;
  for (int i = 0; i < 4; ++i) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, kNames[i], nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
      *Field(settings, i, mute) = static_cast<std::int32_t>(value);
  }
  settings.muted = mute != 0;
  settings.logFile = ReadString(key, "LogFile", settings.problems, "");
  // Not an address either: the port stays on this computer.
  settings.listenAddress = ReadString(key, "ListenAddress", settings.problems, "(not a text)");
  RegCloseKey(key);
  return settings;
}

void RegistrySettingsStore::Save(const platform::Settings& settings) const {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return;
  platform::Settings copy = settings;
  std::int32_t mute = settings.muted ? 1 : 0;
  for (int i = 0; i < 4; ++i) {
    const DWORD value = static_cast<DWORD>(*Field(copy, i, mute));
    RegSetValueExA(key, kNames[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
  }
  RegCloseKey(key);
}

bool RegistrySettingsStore::Writable(std::string* why) const {
  HKEY key;
  const LONG status =
      RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  *why = ErrorText(static_cast<int>(status));
  return false;
}

platform::Settings FileSettingsStore::Load() const {
  platform::Settings settings;
  std::ifstream in(std::filesystem::u8path(file_));
  std::int32_t mute = 0;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = line.substr(0, equals), value = line.substr(equals + 1);
    if (name == "LogFile") settings.logFile = value;
    if (name == "ListenAddress") settings.listenAddress = value;
    for (int i = 0; i < 4; ++i) {
      if (name != kNames[i]) continue;
      long long number = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
      // A DWORD read back may come as its unsigned pattern.
      if (error == std::errc() && end == value.data() + value.size() && number >= INT32_MIN && number <= UINT32_MAX)
        *Field(settings, i, mute) = static_cast<std::int32_t>(static_cast<std::uint32_t>(number));
    }
  }
  settings.muted = mute != 0;
  return settings;
}

void FileSettingsStore::Save(const platform::Settings& settings) const {
  // The values written at exit replace theirs; other lines (LogFile,
  // ListenAddress, anything of the user's) stay.
  std::vector<std::string> kept;
  {
    std::ifstream in(std::filesystem::u8path(file_));
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const std::string name = line.substr(0, line.find('='));
      bool ours = line == "[General]";
      for (const char* n : kNames) ours = ours || name == n;
      if (!ours && !line.empty()) kept.push_back(line);
    }
  }
  platform::Settings copy = settings;
  std::int32_t mute = settings.muted ? 1 : 0;
  std::ostringstream out;
  out << "[General]\n";
  for (const auto& line : kept) out << line << "\n";
  for (int i = 0; i < 4; ++i) out << kNames[i] << "=" << *Field(copy, i, mute) << "\n";
  std::ofstream(std::filesystem::u8path(file_), std::ios::binary | std::ios::trunc) << out.str();
}

bool FileSettingsStore::Writable(std::string* why) const {
  const std::filesystem::path path = std::filesystem::u8path(file_);
  if (std::filesystem::exists(path)) {
    std::ofstream probe(path, std::ios::app);
    if (probe) return true;
    *why = "it cannot be opened for writing";
    return false;
  }
  return UsableFolder(path.has_parent_path() ? path.parent_path().string() : ".", why);
}

}  // namespace ostrana::win32
