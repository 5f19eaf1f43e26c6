// Where a run keeps its TNC drive and its event log when none is given: the
// XDG data and state folders.
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

}  // namespace ostrana::run
