// ostrana: the connector. With a display it runs as the status window; with
// --headless (or without a display) as a console program that ends on SIGINT
// or SIGTERM. Both end in the same order: settings written, sockets closed,
// the exit sound (window only, unless muted), the polling worker stopped and
// the machine connection released.
#include <QApplication>
#include <QSet>
#include <QDesktopServices>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>
#include <sys/socket.h>
#include <unistd.h>

#include "backend/MachineBackend.h"
#include "run/CommandLine.h"
#include "run/Headless.h"
#include "run/RunSequence.h"
#include "run/Startup.h"
#include "common/Console.h"
#include "common/EventLog.h"
#include "common/LoggedPrompts.h"
#include "common/Process.h"
#include "common/StringTable.h"
#include "platform/FileSettingsStore.h"
#include "qt/QtConnectorRun.h"
#include "qt/GuiPrompts.h"
#include "qt/PlatformServices.h"
#include "ui/OstranaDlg.h"

namespace {

using namespace ostrana;

int signalFds[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(signalFds[1], &byte, 1);
}

// SIGINT, SIGTERM and SIGHUP (the terminal closed) end the event loop; the
// shutdown then runs as after a window close.
void QuitOnSignals(QCoreApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) != 0) return;
  auto* notifier = new QSocketNotifier(signalFds[0], QSocketNotifier::Read, &app);
  // exit(), not quit(): it ends every running event loop, the modal window's too.
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGHUP, OnSignal);
}

// Whether a window can be shown. An X display named by DISPLAY that cannot be
// opened (common after an SSH session ended) counts as none, instead of
// aborting in Qt's platform plugin.
bool HaveDisplay(QString* why) {
  if (std::getenv("QT_QPA_PLATFORM") || std::getenv("WAYLAND_DISPLAY")) return true;
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    *why = QStringLiteral("no display");
    return false;
  }
  if (qt::CanOpenX11Display()) return true;
  *why = QStringLiteral("the display %1 cannot be opened").arg(QString::fromLocal8Bit(display));
  return false;
}

// Qt repeats some warnings on every use (a missing sound device on every
// status sound); each distinct text is written once, and what only means
// "no sound" is said in words, once.
void WarnOnce(QtMsgType type, const QMessageLogContext&, const QString& text) {
  static QSet<QString> seen;
  if (type == QtDebugMsg || type == QtInfoMsg || seen.contains(text)) return;
  seen.insert(text);
  if (text.contains(QStringLiteral("XDG_RUNTIME_DIR"))) return;  // Qt takes a folder of its own: nothing to say
  if (text.contains(QStringLiteral("PulseAudio")) || text.contains(QStringLiteral("pa_context"))) {
    static bool said = false;
    if (!std::exchange(said, true)) console::Err("ostrana: no audio device: sounds are off");
    return;
  }
  if (type == QtFatalMsg) {
    std::fprintf(stderr, "ostrana: %s\n", text.toLocal8Bit().constData());
    std::abort();
  }
  console::Err("ostrana: " + text.toStdString());
}

int RunHeadless(const run::Options& options, const platform::SettingsStore& store, const platform::Settings& settings,
                run::Machine& machine, Prompts& prompts, const std::string& listenAddress) {
  qt::QtConnectorRun connector(*machine.component, prompts, QCoreApplication::applicationFilePath().toStdString());
  connector.Run().Session().WhenListening(machine.listening);
  return run::RunHeadless(options, store, settings, connector.Run(), listenAddress, [] { QCoreApplication::exec(); });
}  // the worker stops, then the machine is released

int RunWindow(const run::Options& options, const platform::SettingsStore& store, const platform::Settings& settings,
              run::Machine& machine, Prompts& prompts, qt::GuiPrompts& boxes, const std::string& listenAddress,
              const std::string& logFile) {
  qt::QtConnectorRun connector(*machine.component, prompts, QCoreApplication::applicationFilePath().toStdString());
  connector.Run().Session().WhenListening(machine.listening);
  auto sounds = qt::MakeSoundPlayer();
  auto watch = qt::MakeWindowWatch();
  return run::RunWindow(options, store, settings, connector.Run(), listenAddress, *sounds, [&](run::RunControl& run) {
    ui::OstranaDlg::Services services{run,
                                      prompts,
                                      *sounds,
                                      *watch,
                                      [](const QUrl& url) { return QDesktopServices::openUrl(url); },
                                      nullptr,
                                      machine.line,
                                      QString::fromStdString(logFile),
                                      machine.absent};
    // Settings read and the start-up sound: the window's construction.
    ui::OstranaDlg window(services, settings.xTopLeft, settings.yTopLeft, settings.muted);
    boxes.SetParent(&window);
    run.SetView(&window);
    window.exec();  // ends on the close request, Escape, a signal, or the CAM client gone
    run.SetView(nullptr);
    boxes.SetParent(nullptr);
    return window.Kept();
  });
}  // the worker stops, then the machine is released

}  // namespace

int main(int argc, char* argv[]) {
  // First of all: with a standard stream closed, the signal pipe or the log
  // would take its number and get its lines.
  if (!OpenStandardStreams()) {
    std::fputs("ostrana: /dev/null cannot be opened for a closed standard stream\n", stderr);
    return 1;
  }
  int exitCode = 0;
  const auto parsed = run::OptionsOrExit(argc, argv, false, &exitCode);
  if (!parsed) return exitCode;
  const run::Options& options = *parsed;
  bool headless = options.headless;
  QString noDisplay;
  if (!headless && !HaveDisplay(&noDisplay)) {
    console::Err("ostrana: " + noDisplay.toStdString() + ": running headless");
    headless = true;
  }
  qInstallMessageHandler(WarnOnce);
  std::unique_ptr<QCoreApplication> app =
      headless ? std::make_unique<QCoreApplication>(argc, argv) : std::make_unique<QApplication>(argc, argv);
  QuitOnSignals(*app);
  std::signal(SIGPIPE, SIG_IGN);

  run::HeadlessPrompts headlessPrompts;
  std::unique_ptr<qt::GuiPrompts> guiPrompts = headless ? nullptr : std::make_unique<qt::GuiPrompts>();
  LoggedPrompts prompts(headless ? static_cast<Prompts&>(headlessPrompts) : *guiPrompts);

  // The path as the bytes given: a name that is not UTF-8 is still the file meant.
  const platform::FileSettingsStore store(
      std::filesystem::path(options.settingsFile.empty() ? run::DefaultSettingsFile() : options.settingsFile));
  run::Prepared run;
  if (!run::Prepare(options, store, prompts, headless, backend::SetUpMachine(), run)) return run.machine.refusedStatus;
  const int code = headless ? RunHeadless(options, store, run.settings, run.machine, prompts, run.listenAddress)
                            : RunWindow(options, store, run.settings, run.machine, prompts, *guiPrompts,
                                        run.listenAddress, run.logFile);
  run::Finish(run.machine);
  return code;
}
