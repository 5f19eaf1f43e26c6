// ostrana.exe: the connector on Windows. The same command line and the same
// run as on Linux (the shared core), on the Win32 API: the status window (or,
// with --headless, console lines for prompts and status), Winsock for the
// client, the registry for the settings, COM entered for the multithreaded apartment so the polling worker
// may call the DNC component from its own thread. Ends on Ctrl-C, Ctrl-Break,
// the console's close, a logoff or a shutdown (EndRequests) in the same order
// as on Linux: settings written, sockets closed, the polling worker stopped
// and the machine connection released.
#include <winsock2.h>
#include <objbase.h>
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "backend/MachineBackend.h"
#include "comdnc/ComComponent.h"
#include "comdnc/Probe.h"
#include "comdnc/Registration.h"
#include "common/Console.h"
#include "common/EventLog.h"
#include "common/LoggedPrompts.h"
#include "common/StringTable.h"
#include "net/Socket.h"
#include "platform/FileSettingsStore.h"
#include "run/CommandLine.h"
#include "run/RunSequence.h"
#include "run/Headless.h"
#include "run/Startup.h"
#include "win32/Console.h"
#include "win32/EndRequests.h"
#include "win32/MessageWindow.h"
#include "win32/OstranaDlg.h"
#include "win32/Services.h"
#include "win32/SettingsStores.h"
#include "win32/WinConnectorRun.h"

namespace {

using namespace ostrana;

std::string ModulePath() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

int RunHeadless(const run::Options& options, const platform::SettingsStore& store, const platform::Settings& settings,
                run::Machine& machine, Prompts& prompts, const std::string& listenAddress) {
  win32::WinConnectorRun connector(*machine.component, prompts, ModulePath());
  connector.Run().Session().WhenListening(machine.listening);
  win32::EndRequestsTo(connector.Window().Handle());
  const int code =
      run::RunHeadless(options, store, settings, connector.Run(), listenAddress, [] { win32::RunEventLoop(); });
  win32::EndRequestsTo(nullptr);
  return code;
}  // the worker stops, then the machine is released

int RunWindow(const run::Options& options, const platform::SettingsStore& store, const platform::Settings& settings,
              run::Machine& machine, Prompts& prompts, win32::BoxPrompts& boxes, const std::string& listenAddress,
              const std::string& logFile) {
  win32::WinConnectorRun connector(*machine.component, prompts, ModulePath());
  connector.Run().Session().WhenListening(machine.listening);
  win32::ResourceSounds sounds;
  win32::KelvraWatch watch;
  auto open = [](const std::string& target) {
    return reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) >
           32;
  };
  return run::RunWindow(options, store, settings, connector.Run(), listenAddress, sounds, [&](run::RunControl& run) {
    win32::OstranaDlg dialog({run, prompts, sounds, watch, open, machine.line, logFile, machine.absent}, settings.xTopLeft,
                             settings.yTopLeft, settings.muted);
    run.SetView(&dialog);
    boxes.OwnedBy([&dialog] { return dialog.Handle(); });
    win32::EndRequestsTo(connector.Window().Handle());
    connector.Window().On(win32::kQuitMessage, [&dialog](WPARAM, LPARAM) {
      if (dialog.Handle()) PostMessageW(dialog.Handle(), WM_COMMAND, IDCANCEL, 0);
    });
    dialog.DoModal();  // ends on the close request, Escape, an end request or the CAM client gone
    boxes.OwnedBy(nullptr);
    win32::EndRequestsTo(nullptr);
    connector.Window().On(win32::kQuitMessage, [](WPARAM, LPARAM) {});
    run.SetView(nullptr);
    return dialog.Kept();
  });
}  // the worker stops, then the machine is released

// The connection text and number of the last accepted "Machine Connect" in
// the event log, for the probe console's defaults; "localhost" and 0 without one.
std::pair<std::string, std::string> LastConnection() {
  std::pair<std::string, std::string> last{"localhost", "0"};
  std::ifstream log(run::DefaultLogFile());
  const std::string mark = "INFO  machine: connected to ";
  for (std::string line; std::getline(log, line);) {
    const auto at = line.find(mark);
    const auto base = line.rfind(", base row ");
    if (at == std::string::npos || base == std::string::npos) continue;
    const std::string data = line.substr(at + mark.size(), base - at - mark.size());  // "TEXT,NUMBER"
    const auto comma = data.rfind(',');
    if (comma != std::string::npos) last = {data.substr(0, comma), data.substr(comma + 1)};
  }
  return last;
}

// Reads one answer at the console; the default when it is left empty.
std::string Ask(const char* question, const std::string& answer) {
  std::printf("%s [%s]: ", question, answer.c_str());
  std::fflush(stdout);
  char line[256] = "";
  if (!std::fgets(line, sizeof line, stdin)) return answer;
  std::string text = line;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text.empty() ? answer : text;
}

// The probe's report on the console and, to be mailed to whoever supports
// the machine, in %LOCALAPPDATA%\Ostrana\dnc-probe.txt with the date, the
// version and the bitness of the program that made it.
int Probe(run::Options options) {
  if (options.probeAsk) {
    const auto [text, number] = LastConnection();
    options.probeMachineText = Ask("The control's connection text", text);
    options.probeNumber = Ask("The connection number", number);
  }
  std::FILE* report = std::tmpfile();
  if (!report) return comdnc::RunProbe(options.probeMachineText, options.probeNumber, stdout);
  const std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M:%S", std::localtime(&now));
  std::fprintf(report, "%s %s, %d-bit: DNC probe of %s (connection %s, %s)\n\n", strings::kAppName, strings::kVersion,
               comdnc::ProgramBits(), date,
               options.probeMachineText.empty() ? "none given" : options.probeMachineText.c_str(),
               options.probeNumber.empty() ? "-" : options.probeNumber.c_str());
  const int code = comdnc::RunProbe(options.probeMachineText, options.probeNumber, report);
  std::fprintf(report, "Exit code %d.\n", code);
  std::rewind(report);
  std::string text;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, report)) > 0;) text.append(chunk, n);
  std::fclose(report);
  std::fputs(text.c_str(), stdout);
  const std::string folder = std::filesystem::path(run::DefaultLogFile()).parent_path().string();
  const std::string file = folder + "\\dnc-probe.txt";
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (std::FILE* kept = std::fopen(file.c_str(), "w")) {
    std::fputs(text.c_str(), kept);
    std::fclose(kept);
    std::printf("\nThis report is also in %s, to be sent to whoever supports the machine.\n", file.c_str());
  } else {
    std::printf("\nThis report could not be kept in %s.\n", file.c_str());
  }
  if (options.probeAsk) {
    std::printf("\nPress Enter to close this window.");
    std::fflush(stdout);
    std::fgetc(stdin);
  }
  std::fflush(stdout);
  return code;
}

}  // namespace

int main(int argc, char* argv[]) {
  win32::JoinParentConsole();
  int exitCode = 0;
  const auto parsed = run::OptionsOrExit(argc, argv, true, &exitCode);
  if (!parsed) return exitCode;
  const run::Options& options = *parsed;
  if (options.headless || options.dncProbe) {
    win32::EnsureConsole(options.probeAsk);
    // Unattended: no system box (a component's DLL that cannot be loaded,
    // a missing drive) may stop the run waiting for a click nobody makes.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  }
  // Held for the run, headless too: the installer asks to close a running connector.
  CreateMutexA(nullptr, FALSE, "OstranaConnectorRunning");
  const bool headless = options.headless;
  run::HeadlessPrompts headlessPrompts;
  win32::BoxPrompts boxes;
  Prompts& shown = headless ? static_cast<Prompts&>(headlessPrompts) : boxes;
  if (!net::Startup()) {
    // Entry 1008: nothing the connector does can work without sockets. An
    // OK box without an icon (the log is not open yet: not logged).
    shown.ShowMessage(strings::kSocketsInitFailed, PromptIcon::None);
    console::Drain(std::chrono::seconds(1));
    return 1;
  }
  // The polling worker calls the machine from its own thread.
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (options.dncProbe) {
    const int code = Probe(options);
    CoUninitialize();
    return code;
  }
  LoggedPrompts prompts(shown);
  std::unique_ptr<platform::SettingsStore> store;
  if (options.settingsFile.empty())
    store = std::make_unique<win32::RegistrySettingsStore>();
  else
    store = std::make_unique<platform::FileSettingsStore>(options.settingsFile);
  const backend::DncFactory dnc = [] { return std::make_unique<comdnc::ComComponent>(); };
  run::Prepared run;
  if (!run::Prepare(options, *store, prompts, headless, backend::SetUpMachine(dnc), run))
    return run.machine.refusedStatus;
  if (options.control == run::ControlKind::Dnc) {
    // Said once at start, from the registry (nothing is created before the first connect).
    run.machine.line = comdnc::MissingForThisProgram(comdnc::ReadRegistrations(comdnc::kMachineClass));
    if (!run.machine.line.empty()) {
      run.machine.absent = run::MachineAbsent::NotInstalled;
      Log(LogLevel::Warning, "machine", run.machine.line, LogEvent(EventId::ComponentMissing).Reason(run.machine.line));
    }
  }
  const int code =
      headless ? RunHeadless(options, *store, run.settings, run.machine, prompts, run.listenAddress)
               : RunWindow(options, *store, run.settings, run.machine, prompts, boxes, run.listenAddress, run.logFile);
  run::Finish(run.machine);
  CoUninitialize();
  win32::RunEnded();
  return code;
}
