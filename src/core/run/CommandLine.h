// The connector's command line, the same on every platform: what the
// options are, their help, their checks. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace ostrana::run {

// The machine: the built-in virtual control, none (the DNC component is
// missing), or HEIDENHAIN's DNC component (Windows only, its default).
enum class ControlKind { Virtual, None, Dnc };

struct Options {
  bool headless = false;
  std::optional<int> port;   // overrides the stored port for this run
  std::string settingsFile;  // empty: the platform's place
  std::string tncRoot;       // empty: the per-user data folder
  ControlKind control = ControlKind::Virtual;
  std::optional<int> ncConsolePort;
  std::string logFile;        // empty: the stored one, else the per-user state folder
  std::string listenAddress;  // empty: the stored one, else all interfaces
  bool journal = false;       // --journal (Linux): the events go to the systemd journal
  // --dnc-probe (Windows): look at the DNC component instead of running;
  // with connection data, connect to it too.
  bool dncProbe = false;
  bool probeAsk = false;  // the Start menu's probe: asks for the connection data, waits for a key
  std::string probeMachineText;
  std::string probeNumber;
};

// What a command line asks for: a run (options), a text to print and exit
// 0 (--help, --version), or a mistake to report and exit 2.
struct ParsedCommandLine {
  std::optional<Options> options;
  std::string exitText;
  std::string error;
};

// Parses the arguments after the program's name. `windows` selects the
// Windows program's choices (the DNC component, its probe).
ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments, bool windows);

// The name of a control kind, as the command line takes it.
const char* ControlName(ControlKind kind);
// Whether `text` is an IPv4 or IPv6 address ("" counts: all IPv4 interfaces).
bool IsListenAddress(const std::string& text);

// The virtual control's drive folder when none is given: the per-user data folder.
std::string DefaultTncRoot();
// The event log when none is given: the per-user state folder.
std::string DefaultLogFile();
// Why the two above cannot be had, "" when they can: on Windows, a user for
// whom the system names no local application data folder (both are "" then).
std::string DefaultFoldersProblem();
// The Linux program's settings file when none is given: the per-user
// configuration folder (the Windows program keeps them in the registry).
std::string DefaultSettingsFile();

}  // namespace ostrana::run
