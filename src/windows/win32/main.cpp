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
#include <utility>
#include <memory>
#include <string>
#include <vector>

#include "backend/MachineBackend.h"
#include "comdnc/ComComponent.h"
#include "comdnc/Registration.h"
#include "common/Console.h"
#include "common/EventLog.h"
#include "common/LoggedPrompts.h"
#include "common/PathText.h"
#include "common/StringTable.h"
#include "common/WideText.h"
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
#include "win32/ProbeConsole.h"
#include "win32/Services.h"
#include "win32/SettingsStores.h"
#include "win32/WinConnectorRun.h"

namespace {

using namespace ostrana;

// The command line as typed, in the program's UTF-8 (the C runtime's argv
// has it in the ANSI code page, with what that cannot hold lost).
std::vector<std::string> Arguments() {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  for (int i = 0; wide && i < count; ++i) arguments.push_back(Utf8(std::wstring(wide[i])));
  LocalFree(wide);
  return arguments;
}

// A default folder the run would use but the system names none for: said, and the run refused.
bool DefaultFoldersMissing(const run::Options& options, Prompts& prompts) {
  const std::string why = run::DefaultFoldersProblem();
  const bool needed =
      options.logFile.empty() || (options.control == run::ControlKind::Virtual && options.tncRoot.empty());
  if (why.empty() || !needed) return false;
  prompts.ShowMessage("The connector cannot start: " + why +
                          ". Give the event log with --log and, on the virtual "
                          "control, its drive with --tnc-root.",
                      PromptIcon::Exclamation);
  console::Drain(std::chrono::seconds(1));
  return true;
}

int RunHeadless(const run::Options& options, const platform::SettingsStore& store, const platform::Settings& settings,
                run::Machine& machine, Prompts& prompts, const std::string& listenAddress) {
  win32::WinConnectorRun connector(*machine.component, prompts, ProgramFile());
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
  win32::WinConnectorRun connector(*machine.component, prompts, ProgramFile());
  connector.Run().Session().WhenListening(machine.listening);
  win32::ResourceSounds sounds;
  win32::KelvraWatch watch;
  auto open = [](const std::string& target) {
    return reinterpret_cast<INT_PTR>(
               ShellExecuteW(nullptr, L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32;
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

int Run() {
  win32::JoinParentConsole();
  int exitCode = 0;
  std::vector<std::string> arguments = Arguments();
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  const auto parsed = run::OptionsOrExit(static_cast<int>(argv.size()), argv.data(), true, &exitCode);
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
    const int code = win32::RunProbeConsole(options);
    CoUninitialize();
    return code;
  }
  if (DefaultFoldersMissing(options, shown)) return run::kExitStartFailed;
  LoggedPrompts prompts(shown);
  std::unique_ptr<platform::SettingsStore> store;
  if (options.settingsFile.empty())
    store = std::make_unique<win32::RegistrySettingsStore>();
  else
    store = std::make_unique<platform::FileSettingsStore>(PathOf(options.settingsFile));
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

}  // namespace

// A path no file function could take throws no further than here: said, and the run ended.
int main() {
  try {
    return Run();
  } catch (const std::exception& failure) {
    console::Err(std::string("ostrana: stopped: ") + failure.what());
    console::Drain(std::chrono::seconds(1));
    return run::kExitStartFailed;
  }
}
