#include "run/Startup.h"

#include <cstdio>
#include <vector>

#include "common/Console.h"
#include "common/EventLog.h"
#include "common/Folders.h"
#include "common/StringTable.h"
#include "session/ClientSession.h"
#include "vc/VcComponent.h"

namespace ostrana::run {

std::optional<Options> OptionsOrExit(int argc, char** argv, bool windows, int* exitCode) {
  const auto parsed = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc), windows);
  if (parsed.options) return parsed.options;
  if (!parsed.exitText.empty()) {
    std::fputs(parsed.exitText.c_str(), stdout);
    *exitCode = 0;
  } else {
    std::fprintf(stderr, "ostrana: %s\n", parsed.error.c_str());
    *exitCode = 2;
  }
  return std::nullopt;
}

bool Prepare(const Options& options, const platform::SettingsStore& store, Prompts& prompts, bool headless,
             const DncFactory& dnc, Prepared& prepared) {
  prepared.settings = store.Load();
  prepared.logFile = ChooseLogFile(options, prepared.settings);
  // Headless, the log's lines go to stderr too: a service manager's journal keeps them.
  EventLog::Instance().Open(prepared.logFile, headless);
  for (const auto& problem : prepared.settings.problems) prompts.Note(problem);
  prepared.listenAddress = ChooseListenAddress(options, prepared.settings, prompts);
  LogStart(options, prepared.settings, store, prepared.listenAddress, prepared.logFile);
  CheckSettings(store, prompts);
  if (SetUpMachine(options, prompts, prepared.machine, dnc)) return true;
  // The run ends here: what it said still reaches the log and the console.
  EventLog::Instance().Close();
  console::Drain(std::chrono::seconds(1));
  return false;
}

void Finish(Machine& machine) {
  if (machine.ncConsole) machine.ncConsole->Stop();
  Log(LogLevel::Info, "stop", std::string(strings::kAppName) + " stopped");
  EventLog::Instance().Close();
  console::Out("ostrana: stopped");
  // A console nobody reads does not keep the run: a second, then it ends.
  console::Drain(std::chrono::seconds(1));
}

bool SetUpMachine(const Options& options, Prompts& prompts, Machine& m, const DncFactory& dnc) {
  if (options.control == ControlKind::None || (options.control == ControlKind::Dnc && !dnc)) {
    m.component = std::make_unique<dnc::MissingComponent>();
    console::Out("ostrana: machine: none (no DNC component)");
    return true;
  }
  if (options.control == ControlKind::Dnc) {
    m.component = dnc();
    console::Out("ostrana: machine: the DNC component");
    return true;
  }
  const std::string root = options.tncRoot.empty() ? DefaultTncRoot() : options.tncRoot;
  std::string why;
  if (!UsableFolder(root, &why))
    prompts.ShowMessage("The TNC drive folder " + root + " cannot be used: " + why +
                            ".\n\nThe exchange table cannot be created there; choose another folder with --tnc-root.",
                        PromptIcon::Exclamation);
  // One connector a drive: two would interleave their table writes. The
  // lock lies beside the folder, so a missing folder is still made.
  std::string holder;
  std::string lockFile = root;
  while (lockFile.size() > 1 && (lockFile.back() == '/' || lockFile.back() == '\\')) lockFile.pop_back();
  lockFile += ".lock";
  if (!m.driveLock.Take(lockFile, &holder, &why) && why.empty()) {
    prompts.ShowMessage("The TNC drive folder " + root + " is in use by another connector" +
                            (holder.empty() ? std::string() : " (process " + holder + ")") +
                            ".\n\nChoose another folder with --tnc-root.",
                        PromptIcon::Exclamation);
    return false;
  }
  m.control = std::make_unique<vc::VirtualControl>(root);
  if (m.driveLock.Held())
    for (const auto& file : m.control->RemoveStaleTemporaries())
      Log(LogLevel::Info, "drive", "removed " + file.string() + ", left by a run that ended in the middle of a write");
  m.component = std::make_unique<vc::VcComponent>(*m.control);
  console::Out("ostrana: machine: virtual control, TNC drive at " + root);
  if (options.ncConsolePort) {
    m.ncProgram = std::make_unique<ncsim::NcProgram>(*m.control);
    m.ncConsole = std::make_unique<ncsim::NcConsole>(*m.ncProgram, *m.control);
    std::string error;
    const int port = m.ncConsole->Start(static_cast<std::uint16_t>(*options.ncConsolePort), &error);
    if (port < 0) {
      console::Err("ostrana: the NC console cannot listen on port " + std::to_string(*options.ncConsolePort) + ": " +
                   error);
      return false;
    }
    console::Out("ostrana: nc console on port " + std::to_string(port));
  }
  return true;
}

std::string MachineLine(const Machine& machine) {
  return machine.control ? "the virtual control" : machine.missing;
}

std::string ChooseLogFile(const Options& options, const platform::Settings& settings) {
  if (!options.logFile.empty()) return options.logFile;
  if (!settings.logFile.empty()) return settings.logFile;
  return DefaultLogFile();
}

std::string ChooseListenAddress(const Options& options, const platform::Settings& settings, Prompts& prompts) {
  const std::string text = options.listenAddress.empty() ? settings.listenAddress : options.listenAddress;
  if (IsListenAddress(text)) return text == "0.0.0.0" ? "" : text;
  // Whoever set it meant fewer interfaces than all: an address that cannot
  // be used keeps the port on this computer.
  prompts.ShowMessage("The stored listen address '" + text +
                          "' is not an address: the port listens on this computer only (127.0.0.1).",
                      PromptIcon::None);
  return "127.0.0.1";
}

void LogStart(const Options& options, const platform::Settings& settings, const platform::SettingsStore& store,
              const std::string& listenAddress, const std::string& logFile) {
  const std::string drive = options.tncRoot.empty() ? DefaultTncRoot() : options.tncRoot;
  Log(LogLevel::Info, "start",
      std::string(strings::kAppName) + " " + strings::kVersion + "; port " +
          std::to_string(options.port.value_or(settings.portNumber)) + " on " +
          session::ListenAddressText(listenAddress) + "; control " + ControlName(options.control) + "; drive " +
          drive + "; settings " + store.Location() + "; log " + logFile);
}

void CheckSettings(const platform::SettingsStore& store, Prompts& prompts) {
  std::string why;
  if (store.Writable(&why)) return;
  prompts.ShowMessage("The settings cannot be kept in " + store.Location() + ": " + why +
                          ".\n\nThis run's port, place and mute setting will be lost at exit.",
                      PromptIcon::Exclamation);
}

void KeepPort(const Options& options, const RunControl& run, bool userSetPort, platform::Settings& settings) {
  if (!options.port || userSetPort) settings.portNumber = run.PortNumber();
}

}  // namespace ostrana::run
