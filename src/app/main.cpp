// ostrana: the connector. Without a window (--headless, and until the status
// window exists) it runs as a console program that ends on SIGINT or SIGTERM,
// in the same orderly shutdown as the window's.
#include <QCoreApplication>
#include <QSocketNotifier>
#include <csignal>
#include <cstdio>
#include <memory>
#include <sys/socket.h>
#include <unistd.h>

#include "app/CommandLine.h"
#include "app/Headless.h"
#include "app/Settings.h"
#include "client/Connector.h"
#include "dnc/Dnc.h"
#include "vc/NcConsole.h"
#include "vc/NcProgram.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

namespace {

int signalFds[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(signalFds[1], &byte, 1);
}

}  // namespace

int main(int argc, char* argv[]) {
  QCoreApplication app(argc, argv);
  using namespace ostrana;

  QString error, exitText;
  const auto options = app::ParseCommandLine(app.arguments(), &error, &exitText);
  if (!options) {
    if (!exitText.isEmpty()) {
      std::fputs(exitText.toLocal8Bit().constData(), stdout);
      return 0;
    }
    std::fprintf(stderr, "ostrana: %s\n", error.toLocal8Bit().constData());
    return 2;
  }

  // Signals end the event loop; the shutdown then runs as after a window close.
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalFds) == 0) {
    auto* notifier = new QSocketNotifier(signalFds[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
  }
  std::signal(SIGPIPE, SIG_IGN);

  const app::SettingsStore store(options->settingsFile);
  app::Settings settings = store.Load();

  // The machine: the virtual control unless the run asks for none.
  std::unique_ptr<vc::VirtualControl> control;
  std::unique_ptr<dnc::IComponent> component;
  if (options->control == app::ControlKind::Virtual) {
    const QString root = options->tncRoot.isEmpty() ? app::DefaultTncRoot() : options->tncRoot;
    control = std::make_unique<vc::VirtualControl>(root.toStdString());
    component = std::make_unique<vc::VcComponent>(*control);
    std::printf("ostrana: machine: virtual control, TNC drive at %s\n", root.toLocal8Bit().constData());
  } else {
    component = std::make_unique<dnc::MissingComponent>();
    std::printf("ostrana: machine: none (no DNC component)\n");
  }
  std::fflush(stdout);

  app::HeadlessPrompts prompts;
  auto connector = std::make_unique<client::Connector>(*component, prompts,
                                                       QCoreApplication::applicationFilePath().toStdString());
  app::HeadlessView view(*connector);
  connector->SetView(&view);
  connector->portNumber = options->port.value_or(settings.portNumber);

  std::unique_ptr<vc::NcProgram> ncProgram;
  std::unique_ptr<vc::NcConsole> ncConsole;
  if (options->ncConsolePort) {
    ncProgram = std::make_unique<vc::NcProgram>(*control);
    ncConsole = std::make_unique<vc::NcConsole>(*ncProgram, *control);
    std::string why;
    const int port = ncConsole->Start(static_cast<std::uint16_t>(*options->ncConsolePort), &why);
    if (port < 0) {
      std::fprintf(stderr, "ostrana: the NC console cannot listen on port %d: %s\n", *options->ncConsolePort,
                   why.c_str());
      return 1;
    }
    std::printf("ostrana: nc console on port %d\n", port);
    std::fflush(stdout);
  }

  connector->OpenListener();
  view.UpdatePortStatus();
  view.UpdateConnectionStatus(false);

  app.exec();

  // Shutdown: settings, sockets, then the machine connection (which stops a
  // running worker first). A --port given for this run is not kept, unless
  // port recovery moved away from it.
  if (!options->port || connector->portNumber != *options->port) settings.portNumber = connector->portNumber;
  store.Save(settings);
  connector->CloseSockets();
  connector.reset();
  if (ncConsole) ncConsole->Stop();
  std::printf("ostrana: stopped\n");
  return 0;
}
