// Where the Windows program keeps its settings: the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana as REG_DWORD values
// (LogFile and ListenAddress, read only, as REG_SZ), or, with --settings, a
// file of "Name=value" lines under [General], as the Linux program writes
// it. Main thread only.
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

class FileSettingsStore final : public platform::SettingsStore {
 public:
  explicit FileSettingsStore(std::string file) : file_(std::move(file)) {}
  platform::Settings Load() const override;
  void Save(const platform::Settings& settings) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override { return file_; }

 private:
  std::string file_;
};

}  // namespace ostrana::win32
