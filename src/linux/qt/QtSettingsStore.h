// The settings kept with QSettings: an INI file in the per-user
// configuration folder, or the file given with --settings. Main thread only.
#pragma once

#include <QString>

#include "platform/Settings.h"

namespace ostrana::qt {

class QtSettingsStore final : public platform::SettingsStore {
 public:
  // An empty `file` means the platform's own place.
  explicit QtSettingsStore(QString file = {});
  platform::Settings Load() const override;
  void Save(const platform::Settings& settings) const override;
  bool Writable(std::string* why) const override;
  std::string Location() const override;

 private:
  QString file_;
};

}  // namespace ostrana::qt
