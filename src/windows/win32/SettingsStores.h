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
#include <utility>

#include "platform/Settings.h"

namespace ostrana::win32 {

inline constexpr char kSettingsKey[] = "Software\\Quorvane\\Corvessa\\Ostrana";

class RegistrySettingsStore final : public platform::SettingsStore {
 public:
  // `subkey` of HKEY_CURRENT_USER: the program's own, or another for a test.
  explicit RegistrySettingsStore(std::string subkey = kSettingsKey) : subkey_(std::move(subkey)) {}
  platform::Settings Load() const override;
  bool Save(const platform::Settings& settings, std::string* why) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override { return "HKEY_CURRENT_USER\\" + subkey_; }

 private:
  std::string subkey_;
};

}  // namespace ostrana::win32
