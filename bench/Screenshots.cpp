// Pictures of the status window for the guide: its four states and the port
// row open, over a virtual control, on the X display it is started under.
//   screenshots FOLDER        (scripts/screenshots writes docs/ with it)
// Exits non-zero when a picture cannot be taken or written.
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <cstdio>
#include <filesystem>

#include "qt/PlatformServices.h"
#include "qt/QtConnectorRun.h"
#include "ui/OstranaDlg.h"
#include "vc/VcComponent.h"
#include "vc/VirtualControl.h"

using namespace ostrana;

namespace {

class Silent final : public platform::SoundPlayer, public Prompts {
 public:
  void Play(int) override {}
  void PlayAndWait(int) override {}
  void ShowMessage(const std::string&, PromptIcon) override {}
  bool AskYesNo(const std::string&) override { return false; }
};

void Settle(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: screenshots FOLDER (under an X display)\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const std::filesystem::path drive = std::filesystem::temp_directory_path() / "ostrana-screenshots-tnc";
  vc::VirtualControl control(drive);
  vc::VcComponent component(control);
  Silent silent;
  auto watch = qt::MakeWindowWatch();
  qt::QtConnectorRun qtRun(component, silent, "ostrana");
  run::ConnectorRun& connector = qtRun.Run();
  connector.SetPortNumber(50000);  // the default port, as the guide shows it
  ui::OstranaDlg dlg({connector, silent, silent, *watch, nullptr, nullptr, "the virtual control", QString()}, 0, 0,
                     true);
  connector.SetView(&dlg);
  dlg.show();
  Settle(300);
  int failed = 0;
  auto take = [&](const char* name) {
    Settle(100);
    const QString file = out.filePath(QString::fromUtf8(name) + ".png");
    const bool saved = dlg.grab().save(file);
    std::printf("%s %s\n", saved ? "wrote" : "COULD NOT WRITE", qPrintable(file));
    failed += !saved;
  };
  const struct {
    bool client, machine;
    const char* name;
  } states[] = {{false, false, "status-neither"},
                {true, false, "status-client-only"},
                {false, true, "status-machine-only"},
                {true, true, "status-both"}};
  for (const auto& s : states) {
    connector.Operations().Stores().SetClientAttached(s.client);
    connector.Operations().Stores().SetMachineStatus(s.machine);
    take(s.name);
  }
  dlg.findChild<QPushButton*>("IDC_PORT_STATUS")->click();
  take("port-row");
  connector.SetView(nullptr);
  dlg.hide();
  // A run without a DNC component (--control none): the window says so beside the plug.
  ui::OstranaDlg none({connector, silent, silent, *watch, nullptr, nullptr,
                       "none: started with --control none, no DNC component", QString(), run::MachineAbsent::ByChoice},
                      0, 0, true);
  connector.SetView(&none);
  connector.Operations().Stores().SetClientAttached(false);
  connector.Operations().Stores().SetMachineStatus(false);
  none.show();
  Settle(300);
  const QString file = out.filePath(QStringLiteral("status-no-component.png"));
  const bool saved = none.grab().save(file);
  std::printf("%s %s\n", saved ? "wrote" : "COULD NOT WRITE", qPrintable(file));
  failed += !saved;
  connector.SetView(nullptr);
  std::filesystem::remove_all(drive);
  return failed ? 1 : 0;
}
