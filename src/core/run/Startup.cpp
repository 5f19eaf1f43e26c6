#include "run/Startup.h"

#include <cstdio>
#include <vector>

#include "common/Console.h"
#include "common/EventLog.h"
#include "common/Folders.h"
#include "common/StringTable.h"
#include "session/ClientSession.h"

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
             const MachineSetUp& setUpMachine, Prepared& prepared) {
  prepared.settings = store.Load();
  prepared.logFile = ChooseLogFile(options, prepared.settings);
  // Headless, the log's lines go to stderr too: a service manager's journal
  // keeps them. The file waits until the machine side is had: a run refused
  // because another connector has the drive makes no file (not even one of
  // its own beside a log that connector writes). The events go to the
  // platform's log service as well, where there is one.
  EventLog::Instance().SetPlatformSink(OpenPlatformSink({.journal = options.journal}));
  EventLog::Instance().OpenHeld(prepared.logFile, headless);
  for (const auto& problem : prepared.settings.problems) prompts.Note(problem);
  prepared.listenAddress = ChooseListenAddress(options, prepared.settings, prompts);
  LogStart(options, prepared.settings, store, prepared.listenAddress, prepared.logFile);
  CheckSettings(store, prompts);
  const bool ready = setUpMachine(options, prompts, prepared.machine);
  if (ready || prepared.machine.refusedStatus != kExitDriveInUse) EventLog::Instance().Keep();
  if (ready) return true;
  // The run ends here: what it said still reaches the console (and the log, unless refused for the drive).
  EventLog::Instance().Close();
  console::Drain(std::chrono::seconds(1));
  return false;
}

void Finish(Machine& machine) {
  if (machine.stop) machine.stop();
  Log(LogLevel::Info, "stop", std::string(strings::kAppName) + " stopped", LogEvent(EventId::Stopped));
  EventLog::Instance().Close();
  console::Out("ostrana: stopped");
  // A console nobody reads does not keep the run: a second, then it ends.
  console::Drain(std::chrono::seconds(1));
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
  const std::string where = options.listenAddress.empty() ? settings.listenAddressAt : "";
  prompts.ShowMessage(strings::ListenAddressRefused(Printable(text), where), PromptIcon::None);
  return "127.0.0.1";
}

void LogStart(const Options& options, const platform::Settings& settings, const platform::SettingsStore& store,
              const std::string& listenAddress, const std::string& logFile) {
  const std::string drive = options.tncRoot.empty() ? DefaultTncRoot() : options.tncRoot;
  const std::string port = std::to_string(options.port.value_or(settings.portNumber));
  // A shop with both builds on its PCs learns which one runs where.
  const std::string build = std::string(strings::kVersion) + ", " + std::to_string(sizeof(void*) * 8) + "-bit";
  Log(LogLevel::Info, "start",
      std::string(strings::kAppName) + " " + strings::kVersion + "; port " + port + " on " +
          session::ListenAddressText(listenAddress) + "; control " + ControlName(options.control) + "; drive " + drive +
          "; settings " + store.Location() + "; log " + logFile,
      LogEvent(EventId::Started)
          .Machine(std::string("control ") + ControlName(options.control))
          .Values(build + ", port " + port + " on " + session::ListenAddressText(listenAddress)));
}

void CheckSettings(const platform::SettingsStore& store, Prompts& prompts) {
  std::string why;
  if (store.Writable(&why)) return;
  prompts.ShowMessage(strings::SettingsNotKept(store.Location(), why), PromptIcon::Exclamation);
}

void SaveSettings(const platform::SettingsStore& store, const platform::Settings& settings, bool headless) {
  std::string why;
  if (store.Save(settings, &why)) return;
  const std::string text = strings::SettingsNotSaved(store.Location(), why);
  Log(LogLevel::Error, "settings", text, LogEvent(EventId::SettingsNotSaved).Reason(why));
  // Headless, the log's lines reach stderr already.
  if (!headless) console::Err("ostrana: " + text);
}

void KeepPort(const Options& options, const RunControl& run, bool userSetPort, platform::Settings& settings) {
  if (!options.port || userSetPort) settings.portNumber = run.PortNumber();
}

}  // namespace ostrana::run
