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
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "app/CommandLine.h"
#include "run/Headless.h"
#include "qt/QtSettingsStore.h"
#include "common/EventLog.h"
#include "common/Folders.h"
#include "common/LoggedPrompts.h"
#include "common/StringTable.h"
#include "qt/QtConnectorRun.h"
#include "dnc/Dnc.h"
#include "qt/GuiPrompts.h"
#include "qt/PlatformServices.h"
#include "ui/OstranaDlg.h"
#include "ncsim/NcConsole.h"
#include "ncsim/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

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
// status sound); each distinct text is written once.
void WarnOnce(QtMsgType type, const QMessageLogContext&, const QString& text) {
  static QSet<QString> seen;
  if (type == QtDebugMsg || type == QtInfoMsg || seen.contains(text)) return;
  seen.insert(text);
  std::fprintf(stderr, "ostrana: %s\n", text.toLocal8Bit().constData());
  if (type == QtFatalMsg) std::abort();
}

// The machine side of a run: the virtual control (with its NC console when
// asked for) or no component at all.
struct Machine {
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<dnc::IComponent> component;
  std::unique_ptr<ncsim::NcProgram> ncProgram;
  std::unique_ptr<ncsim::NcConsole> ncConsole;
};

bool SetUpMachine(const app::Options& options, Prompts& prompts, Machine& m) {
  if (options.control == app::ControlKind::None) {
    m.component = std::make_unique<dnc::MissingComponent>();
    std::printf("ostrana: machine: none (no DNC component)\n");
    return true;
  }
  const QString root = options.tncRoot.isEmpty() ? app::DefaultTncRoot() : options.tncRoot;
  std::string why;
  if (!UsableFolder(root.toStdString(), &why))
    prompts.ShowMessage(QStringLiteral("The TNC drive folder %1 cannot be used: %2.\n\nThe exchange table cannot be "
                                       "created there; choose another folder with --tnc-root.")
                            .arg(root, QString::fromStdString(why)).toStdString(),
                        PromptIcon::Exclamation);
  m.control = std::make_unique<vc::VirtualControl>(root.toStdString());
  m.component = std::make_unique<vc::VcComponent>(*m.control);
  std::printf("ostrana: machine: virtual control, TNC drive at %s\n", root.toLocal8Bit().constData());
  if (options.ncConsolePort) {
    m.ncProgram = std::make_unique<ncsim::NcProgram>(*m.control);
    m.ncConsole = std::make_unique<ncsim::NcConsole>(*m.ncProgram, *m.control);
    std::string why;
    const int port = m.ncConsole->Start(static_cast<std::uint16_t>(*options.ncConsolePort), &why);
    if (port < 0) {
      std::fprintf(stderr, "ostrana: the NC console cannot listen on port %d: %s\n", *options.ncConsolePort, why.c_str());
      return false;
    }
    std::printf("ostrana: nc console on port %d\n", port);
  }
  std::fflush(stdout);
  return true;
}

// A --port given for this run is not kept, wherever port recovery moved the
// listener; a port the user set in the window is.
void KeepPort(const app::Options& options, const run::RunControl& run, bool userSetPort,
              platform::Settings& settings) {
  if (!options.port || userSetPort) settings.portNumber = run.PortNumber();
}

// Says at start when the settings cannot be kept, naming the file and why.
void CheckSettings(const platform::SettingsStore& store, Prompts& prompts) {
  std::string why;
  if (store.Writable(&why)) return;
  prompts.ShowMessage(QStringLiteral("The settings cannot be kept in %1: %2.\n\nThis run's port, place and "
                                     "mute setting will be lost at exit.")
                          .arg(QString::fromStdString(store.Location()), QString::fromStdString(why))
                          .toStdString(),
                      PromptIcon::Exclamation);
}

// What the whole run shares beside the machine: where it listens and logs.
struct RunPlaces {
  QHostAddress listenAddress;
  QString logFile;
};

// The first line of a run's log: what it is and where everything lies.
void LogStart(const app::Options& options, const platform::Settings& settings, const platform::SettingsStore& store,
              const RunPlaces& places) {
  const QString address =
      QString::fromStdString(session::ListenAddressText(places.listenAddress.toString().toStdString()));
  const QString drive = options.tncRoot.isEmpty() ? app::DefaultTncRoot() : options.tncRoot;
  Log(LogLevel::Info, "start",
      QStringLiteral("%1 %2; port %3 on %4; control %5; drive %6; settings %7; log %8")
          .arg(strings::kAppName, strings::kVersion)
          .arg(options.port.value_or(settings.portNumber))
          .arg(address, options.control == app::ControlKind::None ? "none" : "virtual", drive, QString::fromStdString(store.Location()),
               places.logFile)
          .toStdString());
}

int RunHeadless(const app::Options& options, const platform::SettingsStore& store, platform::Settings settings,
                Machine& machine, Prompts& prompts, const RunPlaces& places) {
  auto connector = std::make_unique<qt::QtConnectorRun>(*machine.component, prompts,
                                                        QCoreApplication::applicationFilePath().toStdString());
  run::RunControl& run = connector->Control();
  run::HeadlessView view(run);
  run.SetView(&view);
  connector->SetListenAddress(places.listenAddress);
  run.SetPortNumber(options.port.value_or(settings.portNumber));
  run.OpenListener();
  view.UpdatePortStatus();
  view.UpdateConnectionStatus(false);

  QCoreApplication::exec();

  KeepPort(options, run, false, settings);
  store.Save(settings);
  run.CloseSockets();
  connector.reset();
  return 0;
}

int RunWindow(const app::Options& options, const platform::SettingsStore& store, platform::Settings settings,
              Machine& machine, Prompts& prompts, qt::GuiPrompts& boxes, const RunPlaces& places) {
  auto connector = std::make_unique<qt::QtConnectorRun>(*machine.component, prompts,
                                                        QCoreApplication::applicationFilePath().toStdString());
  run::RunControl& run = connector->Control();
  connector->SetListenAddress(places.listenAddress);
  run.SetPortNumber(options.port.value_or(settings.portNumber));
  auto sounds = qt::MakeSoundPlayer();
  auto watch = qt::MakeWindowWatch();
  ui::OstranaDlg::Services services{run, prompts, *sounds, *watch,
                                    [](const QUrl& url) { return QDesktopServices::openUrl(url); }, nullptr,
                                    machine.control != nullptr, places.logFile};
  {
    // Settings read and the start-up sound: the window's construction.
    ui::OstranaDlg window(services, settings.xTopLeft, settings.yTopLeft, settings.muted);
    boxes.SetParent(&window);
    run.SetView(&window);
    window.OnInitDialog();
    window.exec();  // ends on the close request, Escape, or the CAM client gone

    run.SetView(nullptr);
    boxes.SetParent(nullptr);
    settings.xTopLeft = window.Kept().xTopLeft;
    settings.yTopLeft = window.Kept().yTopLeft;
    settings.muted = window.Kept().muted;
    KeepPort(options, run, window.Kept().portSetByUser, settings);
    store.Save(settings);
    run.CloseSockets();
    if (!settings.muted) sounds->PlayAndWait(platform::kSoundExit);
  }
  connector.reset();  // stops a running worker, then releases the machine
  return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QString error, exitText;
  const auto options = app::ParseCommandLine(arguments, &error, &exitText);
  if (!options) {
    if (!exitText.isEmpty()) {
      std::fputs(exitText.toLocal8Bit().constData(), stdout);
      return 0;
    }
    std::fprintf(stderr, "ostrana: %s\n", error.toLocal8Bit().constData());
    return 2;
  }
  bool headless = options->headless;
  QString noDisplay;
  if (!headless && !HaveDisplay(&noDisplay)) {
    std::fprintf(stderr, "ostrana: %s: running headless\n", noDisplay.toLocal8Bit().constData());
    headless = true;
  }
  qInstallMessageHandler(WarnOnce);
  std::unique_ptr<QCoreApplication> app = headless ? std::make_unique<QCoreApplication>(argc, argv)
                                                   : std::make_unique<QApplication>(argc, argv);
  QuitOnSignals(*app);
  std::signal(SIGPIPE, SIG_IGN);

  run::HeadlessPrompts headlessPrompts;
  std::unique_ptr<qt::GuiPrompts> guiPrompts = headless ? nullptr : std::make_unique<qt::GuiPrompts>();
  LoggedPrompts prompts(headless ? static_cast<Prompts&>(headlessPrompts) : *guiPrompts);

  const qt::QtSettingsStore store(options->settingsFile);
  const platform::Settings settings = store.Load();
  RunPlaces places;
  places.logFile = !options->logFile.isEmpty()  ? options->logFile
                   : !settings.logFile.empty() ? QString::fromStdString(settings.logFile)
                                                 : app::DefaultLogFile();
  // Headless, the log's lines go to stderr too: a service manager's journal keeps them.
  EventLog::Instance().Open(places.logFile.toStdString(), headless);
  const QString addressText = options->listenAddress.isEmpty() ? QString::fromStdString(settings.listenAddress) : options->listenAddress;
  const auto address = app::ListenAddressValue(addressText);
  places.listenAddress = address.value_or(QHostAddress(QHostAddress::AnyIPv4));
  if (!address)
    prompts.ShowMessage(QStringLiteral("The stored listen address '%1' is not an address: the port listens on all "
                                       "interfaces.").arg(addressText).toStdString(),
                        PromptIcon::None);
  LogStart(*options, settings, store, places);
  CheckSettings(store, prompts);
  Machine machine;
  if (!SetUpMachine(*options, prompts, machine)) return 1;

  const int code = headless ? RunHeadless(*options, store, settings, machine, prompts, places)
                            : RunWindow(*options, store, settings, machine, prompts, *guiPrompts, places);
  if (machine.ncConsole) machine.ncConsole->Stop();
  Log(LogLevel::Info, "stop", std::string(strings::kAppName) + " stopped");
  EventLog::Instance().Close();
  std::printf("ostrana: stopped\n");
  return code;
}
