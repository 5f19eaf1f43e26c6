// Tests that need a real X display (run under xvfb-run): the watch on the CAM
// client's window across processes.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QSettings>
#include <QThread>

#include "support/TestSupport.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

// A top-level X window with a title, as the CAM client's main window is.
class TitledWindow {
 public:
  explicit TitledWindow(const std::string& title) {
    connection_ = xcb_connect(nullptr, nullptr);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    window_ = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window_, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(title.size()), title.data());
    xcb_map_window(connection_, window_);
    xcb_flush(connection_);
  }
  ~TitledWindow() { xcb_disconnect(connection_); }
  void Destroy() {
    xcb_destroy_window(connection_, window_);
    xcb_flush(connection_);
  }

 private:
  xcb_connection_t* connection_;
  xcb_window_t window_;
};

}  // namespace

// The CAM client was there when the connector started (a window whose title
// names it): closing it ends the connector about a second later, without
// recording the window's place. The match is case-sensitive: a window that
// names it in lower case stays open and counts for nothing.
TEST(Watch, TheConnectorEndsWhenTheClientWindowGoes) {
  TempDir dir;
  const QString settings = QString::fromStdString((dir.path() / "s.conf").string());
  QSettings(settings, QSettings::IniFormat).setValue("Mute", 1);
  TitledWindow kelvra("Quorvane Kelvra 2026 - part.kvp"), lower("quorvane kelvra");
  QProcess connector;  // with its window on the X display (the tests run with QT_QPA_PLATFORM=xcb)
  connector.start(OSTRANA_BINARY, {"--port", "0", "--settings", settings, "--tnc-root",
                                   QString::fromStdString((dir.path() / "tnc").string())});
  ASSERT_TRUE(connector.waitForStarted());
  QThread::msleep(1500);  // the window opens, and its watch starts
  ASSERT_EQ(connector.state(), QProcess::Running);
  kelvra.Destroy();
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(connector.waitForFinished(10000));
  std::printf("the connector ended %lld ms after the client window went\n", static_cast<long long>(timer.elapsed()));
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_EQ(connector.exitCode(), 0);
  QSettings saved(settings, QSettings::IniFormat);
  EXPECT_EQ(saved.value("xTopLeft").toInt(), 1250);  // the default set at open, not a recorded place
  EXPECT_EQ(saved.value("Mute").toInt(), 1);
}
