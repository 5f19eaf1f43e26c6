#include "win32/SettingsStores.h"

#include <windows.h>

#include <cstring>
#include <vector>

#include "common/SystemText.h"
#include "common/WideText.h"

namespace ostrana::win32 {
namespace {

using platform::kStoredNames;

std::string TypeName(DWORD type) {
  static const struct {
    DWORD type;
    const char* name;
  } kTypes[] = {{REG_NONE, "REG_NONE"},           {REG_SZ, "REG_SZ"},
                {REG_EXPAND_SZ, "REG_EXPAND_SZ"}, {REG_BINARY, "REG_BINARY"},
                {REG_DWORD, "REG_DWORD"},         {REG_DWORD_BIG_ENDIAN, "REG_DWORD_BIG_ENDIAN"},
                {REG_LINK, "REG_LINK"},           {REG_MULTI_SZ, "REG_MULTI_SZ"},
                {REG_QWORD, "REG_QWORD"}};
  for (const auto& known : kTypes)
    if (known.type == type) return known.name;
  return "value of type " + std::to_string(type);
}

// A value whole, however long: its type and bytes. The registry's answer
// that the buffer is too small is answered with one of the size it names.
LONG Query(HKEY key, const char* name, DWORD& type, std::vector<BYTE>& data) {
  data.resize(64);
  for (int attempt = 0;; ++attempt) {
    DWORD size = static_cast<DWORD>(data.size());
    const LONG status = RegQueryValueExW(key, Wide(name).c_str(), nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA && attempt < 4) {
      data.resize(size);  // it may grow meanwhile: asked again
      continue;
    }
    data.resize(status == ERROR_SUCCESS ? size : 0);
    return status;
  }
}

// Why a stored value cannot be used; "" when it can (of `wanted`, and of
// `size` bytes unless 0).
std::string Unusable(LONG status, DWORD type, std::size_t size, DWORD wanted, std::size_t wantedSize,
                     const char* kind) {
  if (status != ERROR_SUCCESS) return "cannot be read (" + SystemText(static_cast<unsigned long>(status)) + ")";
  if (type != wanted) return "is a " + TypeName(type) + ", not " + kind + " (" + TypeName(wanted) + ")";
  if (wantedSize && size != wantedSize) return "is a " + TypeName(type) + " of " + std::to_string(size) + " bytes";
  return {};
}

// A text value: "" when there is none; one that cannot be used is named in
// `problems` with what is done instead (`instead`), and gives `otherwise`.
std::string ReadString(HKEY key, const char* name, platform::Settings& settings, const std::string& instead,
                       const std::string& otherwise) {
  DWORD type = 0;
  std::vector<BYTE> data;
  const LONG status = Query(key, name, type, data);
  if (status == ERROR_FILE_NOT_FOUND) return {};
  const std::string why = Unusable(status, type, data.size(), REG_SZ, 0, "a text");
  if (why.empty()) {  // read wide, held as the program's UTF-8 (a log file's path among them)
    const auto* text = reinterpret_cast<const wchar_t*>(data.data());
    return Utf8(text, wcsnlen(text, data.size() / sizeof(wchar_t)));
  }
  settings.problems.push_back(std::string("the registry value ") + name + " " + why + ": " + instead);
  return otherwise;
}

}  // namespace

platform::Settings RegistrySettingsStore::Load() const {
  platform::Settings settings;
  HKEY key;
  const LONG opened = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key);
  if (opened == ERROR_FILE_NOT_FOUND) return settings;  // a first run
  if (opened != ERROR_SUCCESS) {
    // What it holds is not known, a listen address among it: closed.
    settings.problems.push_back("the registry key " + Location() + " cannot be read (" +
                                SystemText(static_cast<unsigned long>(opened)) +
                                "): the defaults are used, the port listens on this computer only (127.0.0.1), "
                                "and nothing is saved in it");
    settings.listenAddress = "127.0.0.1";
    settings.unread.fill(true);
    return settings;
  }
  const auto defaults = platform::StoredValues(settings);
  for (int i = 0; i < 4; ++i) {
    DWORD type = 0;
    std::vector<BYTE> data;
    const LONG status = Query(key, kStoredNames[i], type, data);
    if (status == ERROR_FILE_NOT_FOUND) continue;
    const std::string why = Unusable(status, type, data.size(), REG_DWORD, 4, "a number");
    if (why.empty()) {
      DWORD value = 0;
      std::memcpy(&value, data.data(), sizeof value);
      platform::SetStoredValue(settings, i, static_cast<std::int32_t>(value));
      continue;
    }
    settings.unread[i] = true;
    settings.problems.push_back(std::string("the registry value ") + kStoredNames[i] + " " + why + ": " +
                                std::to_string(defaults[i]) + " is used, and the stored value is left as it is");
  }
  settings.logFile = ReadString(key, "LogFile", settings, "the default log is used", "");
  settings.listenAddress =
      ReadString(key, "ListenAddress", settings, "the port listens on this computer only (127.0.0.1)", "127.0.0.1");
  if (!settings.listenAddress.empty()) settings.listenAddressAt = "the registry value ListenAddress";
  RegCloseKey(key);
  return settings;
}

bool RegistrySettingsStore::Save(const platform::Settings& settings, std::string* why) const {
  HKEY key;
  LONG status = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status != ERROR_SUCCESS) {
    *why = SystemText(static_cast<unsigned long>(status));
    return false;
  }
  const auto values = platform::StoredValues(settings);
  for (int i = 0; i < 4 && status == ERROR_SUCCESS; ++i) {
    if (settings.unread[i]) continue;
    const DWORD value = static_cast<DWORD>(values[i]);
    status = RegSetValueExA(key, kStoredNames[i], 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    if (status != ERROR_SUCCESS) *why = kStoredNames[i] + (": " + SystemText(static_cast<unsigned long>(status)));
  }
  RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool RegistrySettingsStore::Writable(std::string* why) const {
  HKEY key;
  const LONG status =
      RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
  if (status == ERROR_SUCCESS) {
    RegCloseKey(key);
    return true;
  }
  *why = SystemText(static_cast<unsigned long>(status));
  return false;
}

}  // namespace ostrana::win32
