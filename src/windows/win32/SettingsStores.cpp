#include "win32/SettingsStores.h"

#include <windows.h>

#include <cstring>

#include "win32/WinsockClientTransport.h"

namespace ostrana::win32 {
namespace {

using platform::kStoredNames;
using platform::SetStoredValue;

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
  for (int i = 0; i < 4; ++i) {
    DWORD value = 0, size = sizeof value, type = 0;
    if (RegQueryValueExA(key, kStoredNames[i], nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD)
      SetStoredValue(settings, i, static_cast<std::int32_t>(value));
  }
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
  const auto values = platform::StoredValues(settings);
  for (int i = 0; i < 4; ++i) {
    const DWORD value = static_cast<DWORD>(values[i]);
    RegSetValueExA(key, kStoredNames[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
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

}  // namespace ostrana::win32
