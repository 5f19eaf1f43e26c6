// Tests that need a real X display (run under xvfb-run): the watch on the CAM
// client's window across processes.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <fstream>

#include <QElapsedTimer>
#include <QProcess>
#include <QThread>

#include "platform/FileSettingsStore.h"
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
  // The top-level window titled `title` (another program's), or 0.
  xcb_window_t Find(const std::string& title) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr);
    xcb_window_t found = 0;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree) && !found; ++i) {
      const xcb_window_t w = xcb_query_tree_children(tree)[i];
      xcb_get_property_reply_t* name = xcb_get_property_reply(
          connection_, xcb_get_property(connection_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
          nullptr);
      if (name && std::string(static_cast<const char*>(xcb_get_property_value(name)),
                              xcb_get_property_value_length(name)) == title)
        found = w;
      std::free(name);
    }
    std::free(tree);
    return found;
  }
  // Where `w` is on the screen.
  int X(xcb_window_t w) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(connection_, xcb_get_geometry(connection_, w), nullptr);
    const int x = g ? g->x : -1;
    std::free(g);
    return x;
  }
  // What the window manager sends when the user clicks the close button.
  void Close(xcb_window_t w) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = w;
    event.type = Atom("WM_PROTOCOLS");
    event.data.data32[0] = Atom("WM_DELETE_WINDOW");
    xcb_send_event(connection_, 0, w, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
    xcb_flush(connection_);
  }
  void Destroy() {
    xcb_destroy_window(connection_, window_);
    xcb_flush(connection_);
  }

 private:
  xcb_atom_t Atom(const std::string& name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr);
    const xcb_atom_t atom = r ? r->atom : 0;
    std::free(r);
    return atom;
  }
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
  std::ofstream(settings.toStdString()) << "Mute=1\n";
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
  const platform::Settings saved = platform::FileSettingsStore(settings.toStdString()).Load();
  EXPECT_EQ(saved.xTopLeft, 1250);  // the default set at open, not a recorded place
  EXPECT_TRUE(saved.muted);
}

// A stored place beyond the right edge of the 1920-pixel screen opens where
// the window can be seen, and closing it records that place, the one it is
// at, not the one that was asked for.
TEST(Watch, ClosingRecordsThePlaceTheWindowIsAt) {
  TempDir dir;
  const QString settings = QString::fromStdString((dir.path() / "s.conf").string());
  std::ofstream(settings.toStdString()) << "xTopLeft=2400\nyTopLeft=100\nMute=1\n";
  TitledWindow desk("desk");
  QProcess connector;
  connector.start(OSTRANA_BINARY, {"--port", "0", "--settings", settings, "--tnc-root",
                                   QString::fromStdString((dir.path() / "tnc").string())});
  ASSERT_TRUE(connector.waitForStarted());
  xcb_window_t window = 0;
  for (int i = 0; i < 100 && !window; ++i, QThread::msleep(50)) window = desk.Find("Ostrana Connector");
  ASSERT_NE(window, 0u);
  QThread::msleep(500);  // mapped and placed
  const int seen = desk.X(window);
  EXPECT_GT(seen, 1000);
  EXPECT_LT(seen, 1920 - 200);
  desk.Close(window);
  ASSERT_TRUE(connector.waitForFinished(10000));
  EXPECT_EQ(platform::FileSettingsStore(settings.toStdString()).Load().xTopLeft, seen);
}
