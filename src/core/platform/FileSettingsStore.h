// The settings in a file of "Name=value" lines under [General], as the Linux
// program's settings file is written: what the Windows program keeps with
// --settings, so one file serves either program. The values written at exit
// replace theirs; every other line stays. Main thread only.
#pragma once

#include <string>
#include <utility>

#include "platform/Settings.h"

namespace ostrana::platform {

class FileSettingsStore final : public SettingsStore {
 public:
  explicit FileSettingsStore(std::string file) : file_(std::move(file)) {}
  Settings Load() const override;
  void Save(const Settings& settings) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override { return file_; }

 private:
  std::string file_;
};

}  // namespace ostrana::platform
