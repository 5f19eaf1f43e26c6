// The steps every shell takes around a run, written once: choosing the
// event log and the listen address, the first log line, the check that the
// settings can be kept, the machine side (built by the set-up the shell
// gives), and which port is kept at exit.
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/Prompts.h"
#include "dnc/Dnc.h"
#include "platform/Settings.h"
#include "run/CommandLine.h"
#include "run/RunControl.h"

namespace ostrana::run {

// A run's exit status when it cannot start. A service manager restarts a
// run that failed (kExitStartFailed), but not one refused because another
// connector already holds the TNC drive (kExitDriveInUse): it would be
// refused again and again. The man page and the user unit name these numbers.
inline constexpr int kExitStartFailed = 1;
inline constexpr int kExitDriveInUse = 3;

// Why a run has no DNC component to reach the machine through, if it has none.
enum class MachineAbsent {
  No,            // a component (or the virtual control) is there
  ByChoice,      // started with --control none
  NotInstalled,  // the DNC component is not registered for this program
};

// The machine side of a run, as a set-up above the core built it.
struct Machine {
  // A set-up that refuses the run says why here: the run's exit status.
  int refusedStatus = kExitStartFailed;
  // The status tooltip's "Machine:" line: "the virtual control", a DNC
  // component known to be missing (what is wrong), or "".
  std::string line;
  MachineAbsent absent = MachineAbsent::No;  // the window says it beside the status
  std::shared_ptr<void> keep;  // what the component runs over, held for the run; goes after it
  std::unique_ptr<dnc::IComponent> component;
  std::function<void()> stop;  // ends what serves beside the machine (the NC console); may be empty
  // Told the port the run listens on whenever the listener starts: the drive
  // lock notes it for a second run's message. May be empty.
  std::function<void(int port)> listening;
};

// The command line of a run: its options, or nothing after --help or
// --version (printed, exit code 0) or a mistake (said on stderr, exit code 2).
std::optional<Options> OptionsOrExit(int argc, char** argv, bool windows, int* exitCode);

// Builds the machine side the options name into `machine`; false (the
// reason said) when the run cannot start.
using MachineSetUp = std::function<bool(const Options&, Prompts&, Machine&)>;

// The event log of this run: --log, else the stored one, else the per-user state folder.
std::string ChooseLogFile(const Options& options, const platform::Settings& settings);
// The listen address of this run: --listen, else the stored one; a stored
// text that is not an address is said, and the port is kept on this
// computer (127.0.0.1): an unusable address fails closed.
std::string ChooseListenAddress(const Options& options, const platform::Settings& settings, Prompts& prompts);
// The first line of a run's log: what it is and where everything lies.
void LogStart(const Options& options, const platform::Settings& settings, const platform::SettingsStore& store,
              const std::string& listenAddress, const std::string& logFile);
// Says at start when the settings cannot be kept, naming the place and why.
void CheckSettings(const platform::SettingsStore& store, Prompts& prompts);
// What a run starts from, once its log is open.
struct Prepared {
  platform::Settings settings;
  std::string logFile;
  std::string listenAddress;  // "" for every IPv4 interface
  Machine machine;
};
// The start of a run, the same on every platform: settings read, the event
// log opened (its lines on stderr too when headless), the first log line,
// the settings' place checked, the machine set up. False when the run
// cannot start (the machine's set-up failed); a run refused because another
// connector has the drive makes no file (its log's lines reach only the console).
bool Prepare(const Options& options, const platform::SettingsStore& store, Prompts& prompts, bool headless,
             const MachineSetUp& setUpMachine, Prepared& prepared);
// The end of a run: the NC console stopped, the last log line, "stopped".
void Finish(Machine& machine);

// Writes the settings at exit; a save that fails is said once, in the log
// and on stderr.
void SaveSettings(const platform::SettingsStore& store, const platform::Settings& settings, bool headless);

// A --port given for this run is not kept, wherever port recovery moved the
// listener; a port the user set in the window is.
void KeepPort(const Options& options, const RunControl& run, bool userSetPort, platform::Settings& settings);

}  // namespace ostrana::run
