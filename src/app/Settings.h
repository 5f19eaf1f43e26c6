// The four values that survive from one run to the next. Read once at start,
// written once at exit. On Windows they live in the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana as REG_DWORD values;
// elsewhere under the same names in a file in the per-user configuration
// folder. Main thread only.
#pragma once

#include <QString>
#include <cstdint>

namespace ostrana::app {

struct Settings {
  std::int32_t portNumber = 50000;
  std::int32_t xTopLeft = 0;
  std::int32_t yTopLeft = 0;
  bool muted = false;
  // Read, never written: set by hand (or by an installer) for every run.
  QString logFile;        // "LogFile"
  QString listenAddress;  // "ListenAddress"
};

class SettingsStore {
 public:
  // An empty `file` means the platform's own place.
  explicit SettingsStore(QString file = {});
  // Missing or unreadable values keep their defaults; nothing is reported.
  Settings Load() const;
  // Failures are silent here: Writable says at start whether saving can work.
  void Save(const Settings& settings) const;
  // Whether the settings file can be written; when not, `why` holds the system's reason.
  bool Writable(QString* why) const;
  QString Location() const;

 private:
  QString file_;
};

}  // namespace ostrana::app
