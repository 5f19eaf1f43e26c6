// Where the Windows program keeps its settings: the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana, the four values as
// REG_DWORD, LogFile and ListenAddress (read only) as REG_SZ; with
// --settings, the file store of platform/FileSettingsStore.h.
//
// A value of another type (or size) is named with its type and what is used
// instead, and is left as it is at exit; a key that is there but cannot be
// read counts as every value unread, and the port stays on this computer.
// Main thread only.
#pragma once

#include <string>

#include "platform/Settings.h"

namespace ostrana::win32 {

inline constexpr char kSettingsKey[] = "Software\\Quorvane\\Corvessa\\Ostrana";

class RegistrySettingsStore final : public platform::SettingsStore {
 public:
  platform::Settings Load() const override;
  bool Save(const platform::Settings& settings, std::string* why) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override { return std::string("HKEY_CURRENT_USER\\") + kSettingsKey; }
};

}  // namespace ostrana::win32
