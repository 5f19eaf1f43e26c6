// The values that survive from one run to the next, and where they are
// kept, as a seam: on Windows the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana as REG_DWORD values;
// on Linux the same names in a file in the per-user configuration folder;
// on either a file given with --settings. Read once at start, written once
// at exit. Main thread only.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ostrana::platform {

struct Settings {
  std::int32_t portNumber = 50000;
  std::int32_t xTopLeft = 0;
  std::int32_t yTopLeft = 0;
  bool muted = false;
  // Read, never written: set by hand (or by an installer) for every run.
  std::string logFile;        // "LogFile"
  std::string listenAddress;  // "ListenAddress"
  // What could not be used as it was stored, in words (said at start).
  std::vector<std::string> problems;
};

// The four values written at exit, by their stored names, in this order;
// Mute is kept as a number (0 or 1).
inline constexpr const char* kStoredNames[] = {"PortNumber", "xTopLeft", "yTopLeft", "Mute"};
inline std::array<std::int32_t, 4> StoredValues(const Settings& s) {
  return {s.portNumber, s.xTopLeft, s.yTopLeft, s.muted ? 1 : 0};
}
inline void SetStoredValue(Settings& s, int index, std::int32_t value) {
  switch (index) {
    case 0: s.portNumber = value; break;
    case 1: s.xTopLeft = value; break;
    case 2: s.yTopLeft = value; break;
    default: s.muted = value != 0;
  }
}

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Missing or unreadable values keep their defaults; nothing is reported.
  virtual Settings Load() const = 0;
  // Failures are silent here: Writable says at start whether saving can work.
  virtual void Save(const Settings& settings) const = 0;
  // Whether the values can be written; when not, `why` holds the system's reason.
  virtual bool Writable(std::string* why) const = 0;
  // Where the values are kept, for messages and the log.
  virtual std::string Location() const = 0;
};

}  // namespace ostrana::platform
