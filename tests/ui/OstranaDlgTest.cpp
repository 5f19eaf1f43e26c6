// The real status window under the offscreen platform, with recording
// doubles for sounds, prompts, the desktop and the CAM-client watch.
#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QToolButton>
#include <fstream>
#include <memory>
#include <thread>

#include "common/StringTable.h"
#include "face/GuideFile.h"
#include "support/FaceFakes.h"
#include "support/QtRunFixture.h"
#include "ui/OstranaDlg.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

class OstranaDlgTest : public QtRunFixture {
 protected:
  OstranaDlgTest() : QtRunFixture("ostrana") { connector.SetPortNumber(0); }
  void Open(std::int32_t x = 0, std::int32_t y = 0, bool muted = false) {
    auto open = [this](const QUrl& url) { return opened.push_back(url), openable; };
    auto about = [this] { ++aboutShown; };
    const QString log = QStringLiteral("/var/log/x/ostrana.log");
    ui::OstranaDlg::Services services{connector, prompts, sounds, watch, open, about, "the virtual control", log, absent};
    dlg = std::make_unique<ui::OstranaDlg>(services, x, y, muted);
    connector.SetView(dlg.get());
    dlg->show();
  }
  ~OstranaDlgTest() override { connector.SetView(nullptr); }

  template <class T>
  T* Child(const char* name) {
    return dlg->findChild<T*>(name);
  }
  int StatusIcon() { return Child<QLabel>("IDC_CONNECTION_STATUS")->property("iconId").toInt(); }
  QString StatusText() { return Child<QLabel>("IDC_CONNECTION_STATUS")->property("statusText").toString(); }
  int PortIcon() { return Child<QPushButton>("IDC_PORT_STATUS")->property("iconId").toInt(); }
  QAction* MenuAction(const QString& text) {
    for (QAction* a : Child<QToolButton>("IDC_INFO")->menu()->actions())
      if (a->text() == text) return a;
    return nullptr;
  }
  // The port box's disabled look: its background and its text.
  std::pair<QColor, QColor> PortField() {
    const QPalette palette = Child<QLineEdit>("IDC_PORT")->palette();
    return {palette.color(QPalette::Disabled, QPalette::Base), palette.color(QPalette::Disabled, QPalette::Text)};
  }
  void SetStatus(bool client, bool machine) {
    connector.Operations().Stores().SetClientAttached(client);
    connector.Operations().Stores().SetMachineStatus(machine);  // ends with a status refresh with sound
  }

  RecordingSounds sounds;
  FakeWatch watch;
  std::vector<QUrl> opened;
  bool openable = true;
  int aboutShown = 0;
  run::MachineAbsent absent = run::MachineAbsent::No;
  std::unique_ptr<ui::OstranaDlg> dlg;
};

}  // namespace

TEST_F(OstranaDlgTest, OpensListeningWithNeitherConnectedAndThePortRowHidden) {
  Open();
  EXPECT_EQ(dlg->windowTitle(), "Ostrana Connector");
  EXPECT_TRUE(dlg->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(sounds.played, std::vector<int>{140});  // the start-up sound; no status sound
  EXPECT_EQ(std::tuple(StatusIcon(), StatusText(), PortIcon()), std::tuple(132, QString(strings::kStatusNeither), 129));
  EXPECT_TRUE(Child<QLabel>("IDC_MACHINE_NOTICE")->text().isEmpty());  // a component is there
  EXPECT_EQ(std::pair(Child<QPushButton>("IDC_EDIT_PORT")->isVisible(), Child<QLineEdit>("IDC_PORT")->isEnabled()),
            std::pair(false, false));
  EXPECT_EQ(dlg->height(), Child<QPushButton>("IDC_EDIT_PORT")->geometry().top());
  EXPECT_FALSE(dlg->WatchRunning());  // no client window at open: no watch
  // With port 0 the system picks the port: the box and the tooltip show that one.
  ASSERT_NE(connector.BoundPort(), 0);
  EXPECT_EQ(Child<QLineEdit>("IDC_PORT")->text(), QString::number(connector.BoundPort()));
  const QString tip = Child<QPushButton>("IDC_PORT_STATUS")->toolTip();
  EXPECT_TRUE(tip.contains(QString::number(connector.BoundPort())));
  EXPECT_EQ(connector.PortNumber(), 0);
  // Tooltips: a bold title; 1031 breaks into two lines.
  EXPECT_TRUE(tip.contains("<b>Kelvra Connection Port</b>"));
  EXPECT_TRUE(tip.contains("The port used to connect to Kelvra<br>Currently the port is valid"));
  EXPECT_TRUE(Child<QLabel>("IDC_CONNECTION_STATUS")->toolTip().contains("virtual control"));
}

TEST_F(OstranaDlgTest, FourConnectionStatesWithTheirIconsTextsAndSounds) {
  Open();
  for (auto [client, machine, icon, text] :
       {std::tuple{true, false, 135, strings::kStatusClientOnly}, {true, true, 133, strings::kStatusBoth},
        {false, true, 134, strings::kStatusMachineOnly}, {false, false, 132, strings::kStatusNeither}}) {
    SetStatus(client, machine);
    EXPECT_EQ(std::pair(StatusIcon(), StatusText()), std::pair(icon, QString(text)));
  }
  EXPECT_EQ(sounds.played, (std::vector<int>{140, 146, 144, 145, 143}));
  EXPECT_TRUE(Child<QLabel>("IDC_CONNECTION_STATUS")->toolTip().contains(strings::kStatusNeither));
  // Lost, then back, from the worker before the loop turns: each sounds as itself, in order.
  std::thread([this] {
    connector.Operations().Stores().SetMachineStatus(false);
    connector.Operations().Stores().SetMachineStatus(true);
  }).join();
  QCoreApplication::processEvents();
  EXPECT_EQ(sounds.played, (std::vector<int>{140, 146, 144, 145, 143, 143, 145}));
  EXPECT_EQ(StatusIcon(), 134);
}

// Without a DNC component the grey plug looks like "not connected": the
// window says it beside the plug, with the next step (the Start-menu entry
// the installer makes), and the tooltip keeps the detail.
TEST_F(OstranaDlgTest, AMissingComponentIsSaidInTheWindow) {
  const std::string script = ReadText(OSTRANA_SOURCE_DIR "/installer/ostrana.nsi");
  // The Start menu's probe: the program itself, with the switch that asks and waits for Enter.
  const char* probe = R"("${MENU}\Ostrana Connector DNC probe.lnk" "$INSTDIR\ostrana.exe" "--dnc-probe-console")";
  EXPECT_NE(script.find(std::string("CreateShortCut ") + probe), std::string::npos);
  using enum run::MachineAbsent;
  for (auto [why, says] : {std::pair{ByChoice, "started with --control none"},
                           {NotInstalled, "not installed: run 'Ostrana Connector DNC probe' from the Start menu"}}) {
    absent = why;
    Open();
    const QLabel* notice = Child<QLabel>("IDC_MACHINE_NOTICE");
    EXPECT_TRUE(notice->isVisible() && notice->text().contains(QLatin1String(says))) << notice->text().toStdString();
    EXPECT_EQ(StatusIcon(), 132);
  }
}

// The port indicator opens the port row (taller, as wide, a click) and
// closes it; in the row the port is edited and the listener moved.
TEST_F(OstranaDlgTest, ThePortRowOpensAndEditingThePortMovesTheListener) {
  Open();
  auto* button = Child<QPushButton>("IDC_EDIT_PORT");
  auto* field = Child<QLineEdit>("IDC_PORT");
  auto* indicator = Child<QPushButton>("IDC_PORT_STATUS");
  const QSize collapsed = dlg->size();
  indicator->click();
  EXPECT_EQ(std::tuple(indicator->isChecked(), field->isVisible(), dlg->width(), sounds.played.back()),
            std::tuple(true, true, collapsed.width(), 142));
  EXPECT_GT(dlg->height(), collapsed.height());
  button->click();
  EXPECT_EQ(std::pair(button->text(), field->isEnabled()), std::pair(QString("Set Port"), true));

  field->setText("70000");
  EXPECT_EQ(connector.PortNumber(), 70000);  // taken as typed, checked on Set Port
  button->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "Enter an integer between 0 and 65535.");
  EXPECT_EQ(std::pair(button->text(), field->isEnabled()), std::pair(QString("Set Port"), true));

  field->setText("");  // not an integer: the number stays
  EXPECT_EQ(connector.PortNumber(), 70000);
  const int port = FreeDiscoverablePorts().at(0);
  field->setText(QString::number(port));
  button->click();
  EXPECT_EQ(std::tuple(button->text(), field->isEnabled(), connector.BoundPort(), PortIcon()),
            std::tuple(QString("Edit Port"), false, port, 129));
  EXPECT_EQ(PortField(), std::pair(QColor(0, 128, 0), QColor(Qt::white)));  // white on green
  dlg->SetPortButtonEnabled(false);  // as while a client is connected
  EXPECT_FALSE(button->isEnabled());
  indicator->click();
  EXPECT_EQ(std::pair(field->isVisible(), dlg->size()), std::pair(false, collapsed));
}

TEST_F(OstranaDlgTest, AnUnusablePortTurnsTheFieldRed) {
  QTcpServer squatter;
  ASSERT_TRUE(squatter.listen(QHostAddress::AnyIPv4, 0));
  connector.SetPortNumber(squatter.serverPort());
  prompts.answers = {false};  // no scan
  Open();
  EXPECT_EQ(std::pair(connector.Listening(), PortIcon()), std::pair(false, 130));
  EXPECT_TRUE(Child<QPushButton>("IDC_PORT_STATUS")->toolTip().contains("Currently the port is invalid"));
  EXPECT_EQ(PortField(), std::pair(QColor(192, 0, 0), QColor(Qt::white)));  // white on red
}

// Help opens the guide the run has, from a program in top/bin/ (packaged: top/lib/ostrana/); "inst" stands
// for /usr/share/doc/ostrana. Each case: the program's folder, the files there, the one opened ("": none).
TEST(GuideFile, OpensTheGuideTheRunHas) {
  const std::tuple<const char*, std::vector<const char*>, const char*> cases[] = {
      {"top/bin", {"top/bin/guide.html", "top/doc/guide.html"}, "top/bin/guide.html"},  // Windows, installed
      {"top/bin", {"top/doc/guide.html", "inst/guide.html", "README.md"}, "top/doc/guide.html"},
      {"top/lib/ostrana", {"top/share/doc/ostrana/guide.html", "inst/guide.html"}, "top/share/doc/ostrana/guide.html"},
      {"top/bin", {"inst/guide.html", "README.md"}, "inst/guide.html"},
      {"top/bin", {"README.md", "top/doc/guide.md"}, "README.md"},
      {"top/bin", {"top/doc/guide.md"}, ""}};
  for (const auto& [program, files, opened] : cases) {
    const TempDir dir;
    for (const char* file : files)
      std::filesystem::create_directories((dir.path() / file).parent_path()), std::ofstream(dir.path() / file) << "x";
    const std::string expected = *opened ? std::filesystem::canonical(dir.path() / opened).string() : "";
    EXPECT_EQ(face::GuideFile((dir.path() / program).string(), "guide.html", (dir.path() / "inst").string()), expected);
  }
}

TEST_F(OstranaDlgTest, MenuCommands) {
  Open(0, 0, /*muted=*/true);  // as stored: the item shows it
  QAction* mute = MenuAction("Mute");
  ASSERT_TRUE(mute);
  EXPECT_TRUE(mute->isChecked());
  SetStatus(true, false);  // muted: the icon changes, no sound plays, not even the click
  Child<QPushButton>("IDC_PORT_STATUS")->click();
  EXPECT_EQ(std::pair(StatusIcon(), sounds.played.size()), std::pair(135, std::size_t{0}));
  mute->trigger();
  EXPECT_EQ(std::pair(dlg->Kept().muted, mute->isChecked()), std::pair(false, false));
  mute->trigger();
  EXPECT_EQ(std::pair(dlg->Kept().muted, mute->isChecked()), std::pair(true, true));
  MenuAction("Help")->trigger();  // the guide this build has (GuideFile above)
  openable = false;               // nothing here opens them: the box says where each is
  MenuAction("Help")->trigger();
  MenuAction("Open Log")->trigger();
  EXPECT_EQ(opened, (std::vector<QUrl>{ui::HelpUrl(), ui::HelpUrl(), QUrl::fromLocalFile("/var/log/x/ostrana.log")}));
  ASSERT_EQ(prompts.messages.size(), 2u);
  EXPECT_NE(prompts.messages[0].text.find(ui::HelpUrl().toLocalFile().toStdString()), std::string::npos);
  EXPECT_NE(prompts.messages[1].text.find("/var/log/x/ostrana.log"), std::string::npos);
  MenuAction("About")->trigger();
  EXPECT_EQ(aboutShown, 1);
}

// A window off every screen moves just far enough.
TEST_F(OstranaDlgTest, PlacementOnTheScreensDefaultsAndTheRecordedPlace) {
  const QSize size(370, 100);
  const QRect laptop(0, 0, 1280, 800), right(1280, 0, 1920, 1080);
  const std::tuple<QPoint, QList<QRect>, QPoint> cases[] = {
      // wanted, the screens, placed
      {{1250, 60}, {laptop}, {910, 60}},               // the default on a 1280 x 800 screen
      {{1250, 60}, {laptop, right}, {1250, 60}},       // straddling two screens counts as seen
      {{1000, 60}, {{0, 0, 1920, 1080}}, {1000, 60}},  // fits: kept
      {{3400, 900}, {laptop}, {910, 700}},             // a monitor that is gone
      {{-500, -40}, {laptop, right}, {0, 0}},
      {{2500, 1050}, {laptop, right}, {2500, 980}},  // nearest is the right-hand screen
      {{600, 1000}, {laptop, right}, {600, 700}},    // nearest is the laptop, above it
  };
  for (const auto& [wanted, screens, placed] : cases)
    EXPECT_EQ(ui::PlaceOnScreen(wanted, size, screens), placed) << wanted.x();
  Open(INT32_MAX, INT32_MIN);  // a hand-edited place: on the screen, and no arithmetic overflows
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(dlg->frameGeometry()));
  Open(0, 0);  // the default place, moved onto the screen when it does not fit there
  EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(dlg->frameGeometry()));
  EXPECT_EQ(dlg->pos().y(), 60);
  // The close request records the place (a negative edge means the
  // default); Escape or the watch (reject) does not. Each: stored, moved, closed, kept.
  const std::tuple<QPoint, QPoint, bool, QPoint> ends[] = {{{0, 200}, {-300, 40}, true, {1250, 60}},
                                                           {{30, 40}, {500, 600}, true, {500, 600}},
                                                           {{30, 40}, {500, 600}, false, {30, 40}}};
  for (const auto& [stored, moved, close, kept] : ends) {
    dlg.reset();
    Open(stored.x(), stored.y());
    EXPECT_EQ(dlg->pos(), stored);  // only the pair 0, 0 means "no place"
    dlg->move(moved);
    close ? static_cast<void>(dlg->close()) : dlg->reject();
    EXPECT_EQ(QPoint(dlg->Kept().xTopLeft, dlg->Kept().yTopLeft), kept);
  }
}
