// Where the Windows program keeps its settings: the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana as REG_DWORD values
// (LogFile and ListenAddress, read only, as REG_SZ); with --settings, the
// file store of platform/FileSettingsStore.h. Main thread only.
#pragma once

#include <string>

#include "platform/Settings.h"

namespace ostrana::win32 {

inline constexpr wchar_t kSettingsKey[] = L"Software\\Quorvane\\Corvessa\\Ostrana";

class RegistrySettingsStore final : public platform::SettingsStore {
 public:
  platform::Settings Load() const override;
  void Save(const platform::Settings& settings) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override { return "HKEY_CURRENT_USER\\Software\\Quorvane\\Corvessa\\Ostrana"; }
};

}  // namespace ostrana::win32
