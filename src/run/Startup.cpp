#include "run/Startup.h"

#include <cstdio>
#include <vector>

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
  prepared.listenAddress = ChooseListenAddress(options, prepared.settings, prompts);
  LogStart(options, prepared.settings, store, prepared.listenAddress, prepared.logFile);
  CheckSettings(store, prompts);
  return SetUpMachine(options, prompts, prepared.machine, dnc);
}

void Finish(Machine& machine) {
  if (machine.ncConsole) machine.ncConsole->Stop();
  Log(LogLevel::Info, "stop", std::string(strings::kAppName) + " stopped");
  EventLog::Instance().Close();
  std::printf("ostrana: stopped\n");
  std::fflush(stdout);
}

bool SetUpMachine(const Options& options, Prompts& prompts, Machine& m, const DncFactory& dnc) {
  if (options.control == ControlKind::None || (options.control == ControlKind::Dnc && !dnc)) {
    m.component = std::make_unique<dnc::MissingComponent>();
    std::printf("ostrana: machine: none (no DNC component)\n");
    std::fflush(stdout);
    return true;
  }
  if (options.control == ControlKind::Dnc) {
    m.component = dnc();
    std::printf("ostrana: machine: the DNC component\n");
    std::fflush(stdout);
    return true;
  }
  const std::string root = options.tncRoot.empty() ? DefaultTncRoot() : options.tncRoot;
  std::string why;
  if (!UsableFolder(root, &why))
    prompts.ShowMessage("The TNC drive folder " + root + " cannot be used: " + why +
                            ".\n\nThe exchange table cannot be created there; choose another folder with --tnc-root.",
                        PromptIcon::Exclamation);
  m.control = std::make_unique<vc::VirtualControl>(root);
  m.component = std::make_unique<vc::VcComponent>(*m.control);
  std::printf("ostrana: machine: virtual control, TNC drive at %s\n", root.c_str());
  if (options.ncConsolePort) {
    m.ncProgram = std::make_unique<ncsim::NcProgram>(*m.control);
    m.ncConsole = std::make_unique<ncsim::NcConsole>(*m.ncProgram, *m.control);
    std::string error;
    const int port = m.ncConsole->Start(static_cast<std::uint16_t>(*options.ncConsolePort), &error);
    if (port < 0) {
      std::fprintf(stderr, "ostrana: the NC console cannot listen on port %d: %s\n", *options.ncConsolePort,
                   error.c_str());
      return false;
    }
    std::printf("ostrana: nc console on port %d\n", port);
  }
  std::fflush(stdout);
  return true;
}

std::string ChooseLogFile(const Options& options, const platform::Settings& settings) {
  if (!options.logFile.empty()) return options.logFile;
  if (!settings.logFile.empty()) return settings.logFile;
  return DefaultLogFile();
}

std::string ChooseListenAddress(const Options& options, const platform::Settings& settings, Prompts& prompts) {
  const std::string text = options.listenAddress.empty() ? settings.listenAddress : options.listenAddress;
  if (IsListenAddress(text)) return text == "0.0.0.0" ? "" : text;
  prompts.ShowMessage("The stored listen address '" + text + "' is not an address: the port listens on all interfaces.",
                      PromptIcon::None);
  return "";
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
