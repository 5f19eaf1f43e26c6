// The values that survive from one run to the next, and where they are
// kept, as a seam: on Windows the registry under
// HKEY_CURRENT_USER\Software\Quorvane\Corvessa\Ostrana as REG_DWORD values;
// on Linux, and on either with --settings, a file of "Name=value" lines
// (platform/FileSettingsStore.h). Read once at start, written once at exit.
// Main thread only.
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
  // Where the stored ListenAddress is ("line 3 of FILE"), for the message
  // that refuses it; empty when none is stored.
  std::string listenAddressAt;
  // What could not be used as it was stored, in words (said at start).
  std::vector<std::string> problems;
  // By index of kStoredNames: stored, but not usable as it is (another
  // type, not a number). The default is used for the run and the stored
  // value is left as it is at exit: what a person wrote is theirs to fix.
  std::array<bool, 4> unread{};
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
  // Missing values keep their defaults silently; a value stored but not
  // usable keeps its default, is named in `problems` and marked `unread`.
  virtual Settings Load() const = 0;
  // Writes the four values, except those marked `unread`; false (with the
  // system's reason in `why`) when they could not be kept. Writable says at
  // start whether saving can work.
  virtual bool Save(const Settings& settings, std::string* why) const = 0;
  // Whether the values can be written; when not, `why` holds the system's reason.
  virtual bool Writable(std::string* why) const = 0;
  // Where the values are kept, for messages and the log.
  virtual std::string Location() const = 0;
};

}  // namespace ostrana::platform
