// ostrana: the connector. With a display it runs as the status window; with
// --headless (or without a display) as a console program that ends on SIGINT
// or SIGTERM. Both end in the same order: settings written, sockets closed,
// the exit sound (window only, unless muted), the polling worker stopped and
// the machine connection released.
#include <QApplication>
#include <QDesktopServices>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/Settings.h"
#include "client/Connector.h"
#include "dnc/Dnc.h"
#include "ui/GuiPrompts.h"
#include "ui/OstranaDlg.h"
#include "vc/NcConsole.h"
#include "vc/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace {

using namespace ostrana;

int signalFds[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(signalFds[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop; the shutdown then runs as after a
// window close.
void QuitOnSignals(QCoreApplication& app) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) != 0) return;
  auto* notifier = new QSocketNotifier(signalFds[0], QSocketNotifier::Read, &app);
  // exit(), not quit(): it ends every running event loop, the modal window's too.
  QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::exit(0); });
  std::signal(SIGINT, OnSignal);
  std::signal(SIGTERM, OnSignal);
}

bool HaveDisplay() {
  return std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") || std::getenv("QT_QPA_PLATFORM");
}

// The machine side of a run: the virtual control (with its NC console when
// asked for) or no component at all.
struct Machine {
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<dnc::IComponent> component;
  std::unique_ptr<vc::NcProgram> ncProgram;
  std::unique_ptr<vc::NcConsole> ncConsole;
};

bool SetUpMachine(const app::Options& options, Machine& m) {
  if (options.control == app::ControlKind::None) {
    m.component = std::make_unique<dnc::MissingComponent>();
    std::printf("ostrana: machine: none (no DNC component)\n");
    return true;
  }
  const QString root = options.tncRoot.isEmpty() ? app::DefaultTncRoot() : options.tncRoot;
  m.control = std::make_unique<vc::VirtualControl>(root.toStdString());
  m.component = std::make_unique<vc::VcComponent>(*m.control);
  std::printf("ostrana: machine: virtual control, TNC drive at %s\n", root.toLocal8Bit().constData());
  if (options.ncConsolePort) {
    m.ncProgram = std::make_unique<vc::NcProgram>(*m.control);
    m.ncConsole = std::make_unique<vc::NcConsole>(*m.ncProgram, *m.control);
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

// A --port given for this run is not kept, unless port recovery moved away from it.
void KeepPort(const app::Options& options, const client::Connector& connector, app::Settings& settings) {
  if (!options.port || connector.portNumber != *options.port) settings.portNumber = connector.portNumber;
}

int RunHeadless(const app::Options& options, const app::SettingsStore& store, app::Settings settings, Machine& machine) {
  app::HeadlessPrompts prompts;
  auto connector = std::make_unique<client::Connector>(*machine.component, prompts,
                                                       QCoreApplication::applicationFilePath().toStdString());
  app::HeadlessView view(*connector);
  connector->SetView(&view);
  connector->portNumber = options.port.value_or(settings.portNumber);
  connector->OpenListener();
  view.UpdatePortStatus();
  view.UpdateConnectionStatus(false);

  QCoreApplication::exec();

  KeepPort(options, *connector, settings);
  store.Save(settings);
  connector->CloseSockets();
  connector.reset();
  return 0;
}

int RunWindow(const app::Options& options, const app::SettingsStore& store, app::Settings settings, Machine& machine) {
  ui::GuiPrompts prompts;
  auto connector = std::make_unique<client::Connector>(*machine.component, prompts,
                                                       QCoreApplication::applicationFilePath().toStdString());
  connector->portNumber = options.port.value_or(settings.portNumber);
  auto sounds = ui::MakeSoundPlayer();
  auto watch = ui::MakeWindowWatch();
  ui::OstranaDlg::Services services{*connector, prompts, *sounds, *watch,
                                    [](const QUrl& url) { QDesktopServices::openUrl(url); }, nullptr,
                                    machine.control != nullptr};
  {
    // Settings read and the start-up sound: the window's construction.
    ui::OstranaDlg window(services, settings.xTopLeft, settings.yTopLeft, settings.muted);
    prompts.SetParent(&window);
    connector->SetView(&window);
    window.OnInitDialog();
    window.exec();  // ends on the close request, Escape, or the CAM client gone

    connector->SetView(nullptr);
    settings.xTopLeft = window.xTopLeft;
    settings.yTopLeft = window.yTopLeft;
    settings.muted = window.muted;
    KeepPort(options, *connector, settings);
    store.Save(settings);
    connector->CloseSockets();
    if (!settings.muted) sounds->PlayAndWait(ui::kSoundExit);
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
  if (!headless && !HaveDisplay()) {
    std::fprintf(stderr, "ostrana: no display: running headless\n");
    headless = true;
  }
  std::unique_ptr<QCoreApplication> app = headless ? std::make_unique<QCoreApplication>(argc, argv)
                                                   : std::make_unique<QApplication>(argc, argv);
  QuitOnSignals(*app);
  std::signal(SIGPIPE, SIG_IGN);

  const app::SettingsStore store(options->settingsFile);
  const app::Settings settings = store.Load();
  Machine machine;
  if (!SetUpMachine(*options, machine)) return 1;

  const int code = headless ? RunHeadless(*options, store, settings, machine)
                            : RunWindow(*options, store, settings, machine);
  if (machine.ncConsole) machine.ncConsole->Stop();
  std::printf("ostrana: stopped\n");
  return code;
}
