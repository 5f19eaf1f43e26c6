// Where a run keeps its TNC drive and its event log when none is given: the
// user's local application data.
#include <cstdlib>

#include "run/CommandLine.h"

namespace ostrana::run {

namespace {
std::string LocalAppData() {
  const char* value = std::getenv("LOCALAPPDATA");
  return value ? value : "";
}
}  // namespace

std::string DefaultTncRoot() { return LocalAppData() + "\\Ostrana\\tnc"; }
std::string DefaultLogFile() { return LocalAppData() + "\\Ostrana\\ostrana.log"; }

}  // namespace ostrana::run
