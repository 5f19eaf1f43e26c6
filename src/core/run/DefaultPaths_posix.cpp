// Where a run keeps its TNC drive, its event log and its settings when none
// is given: the XDG data, state and configuration folders.
#include <cstdlib>

#include "run/CommandLine.h"

namespace ostrana::run {

namespace {
std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}
}  // namespace

std::string DefaultTncRoot() {
  const std::string data = Environment("XDG_DATA_HOME");
  return (data.empty() ? Environment("HOME") + "/.local/share" : data) + "/ostrana/tnc";
}

std::string DefaultLogFile() {
  const std::string state = Environment("XDG_STATE_HOME");
  return (state.empty() ? Environment("HOME") + "/.local/state" : state) + "/ostrana/ostrana.log";
}

std::string DefaultFoldersProblem() { return {}; }

std::string DefaultSettingsFile() {
  // Where the file has always been: a configuration folder given as a
  // relative path is not taken.
  const std::string config = Environment("XDG_CONFIG_HOME");
  return (config.rfind('/', 0) == 0 ? config : Environment("HOME") + "/.config") + "/Quorvane/Corvessa/Ostrana.conf";
}

}  // namespace ostrana::run
