// Tests that need a real X display (run under xvfb-run): the watch on the CAM
// client's window across processes, and the boxes of the window's run.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <cstdlib>
#include <fstream>

#include <QElapsedTimer>
#include <QThread>

#include "process/ProgramRun.h"

using namespace ostrana;
using namespace ostrana::test;

namespace {

// A top-level X window with a title, as the CAM client's main window is.
class TitledWindow {
 public:
  explicit TitledWindow(const std::string& title) : connection_(xcb_connect(nullptr, nullptr)) {
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
    const xcb_window_t window = xcb_generate_id(connection_);
    xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window, screen->root, 10, 10, 200, 100, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
    xcb_change_property(connection_, XCB_PROP_MODE_REPLACE, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8,
                        static_cast<uint32_t>(title.size()), title.data());
    xcb_map_window(connection_, window);
    xcb_flush(connection_);
  }
  ~TitledWindow() { xcb_disconnect(connection_); }  // the server destroys the window with its connection
  // The top-level window titled `title` (another program's) other than `besides`, or 0.
  xcb_window_t Find(const std::string& title, xcb_window_t besides = 0) {
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, xcb_query_tree(connection_, root), nullptr);
    xcb_window_t found = 0;
    for (int i = 0; tree && i < xcb_query_tree_children_length(tree) && !found; ++i) {
      const xcb_window_t w = xcb_query_tree_children(tree)[i];
      xcb_get_property_reply_t* name = xcb_get_property_reply(
          connection_, xcb_get_property(connection_, 0, w, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 64),
          nullptr);
      const char* value = name ? static_cast<const char*>(xcb_get_property_value(name)) : nullptr;
      if (value && w != besides && std::string(value, xcb_get_property_value_length(name)) == title) found = w;
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

 private:
  xcb_atom_t Atom(const std::string& name) {
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        connection_, xcb_intern_atom(connection_, 0, static_cast<uint16_t>(name.size()), name.data()), nullptr);
    const xcb_atom_t atom = r ? r->atom : 0;
    std::free(r);
    return atom;
  }
  xcb_connection_t* connection_;
};

// The connector with its window on the X display (the tests run with
// QT_QPA_PLATFORM=xcb), muted.
class Desktop : public HeadlessRun {
 protected:
  void StartWindow(QStringList args = {"--port", "0"}) {
    std::ofstream(settingsFile.toStdString(), std::ios::app) << "Mute=1\n";
    Launch(args << "--settings" << settingsFile << "--tnc-root" << Native(dir.path() / "tnc"));
    ASSERT_TRUE(process.waitForStarted());
  }
};

}  // namespace

// The CAM client was there when the connector started (a window whose title
// names it): closing it ends the connector about a second later, without
// recording the window's place. The match is case-sensitive: a window that
// names it in lower case stays open and counts for nothing.
TEST_P(Desktop, TheConnectorEndsWhenTheClientWindowGoes) {
  auto kelvra = std::make_unique<TitledWindow>("Quorvane Kelvra 2026 - part.kvp");
  TitledWindow lower("quorvane kelvra");
  StartWindow();
  QThread::msleep(1500);  // the window opens, and its watch starts
  ASSERT_EQ(process.state(), QProcess::Running);
  kelvra.reset();
  QElapsedTimer timer;
  timer.start();
  ASSERT_TRUE(process.waitForFinished(10000));
  std::printf("the connector ended %lld ms after the client window went\n", static_cast<long long>(timer.elapsed()));
  EXPECT_LT(timer.elapsed(), 2000);
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
  EXPECT_EQ(std::pair(Stored().xTopLeft, Stored().muted), std::pair(1250, true));  // the default set at open
}

// The window's run. A stored place beyond the right edge of the 1920-pixel
// screen opens where the window can be seen. A box opened by a request runs
// its own event loop inside the handler of the client's socket: with the
// client gone (closed, reset or replaced) while it is open, the next client
// is served once it is closed. Closing the window ends the run in order
// (under the memory checker: nothing touched a freed socket) and records the
// place the window is at, not the one that was asked for.
TEST_P(Desktop, BoxesOutliveTheirClientsAndTheCloseRecordsThePlace) {
  std::ofstream(settingsFile.toStdString()) << "xTopLeft=2400\n";
  port = FreePort();
  const int consolePort = FreePort();
  StartWindow({"--port", QString::number(port), "--nc-console", QString::number(consolePort), "--log", LogFile()});
  TitledWindow desk("desk");
  xcb_window_t window = 0;  // a slow start (the memory checker's) takes long
  ASSERT_TRUE(
      Pump([&] { return (window = desk.Find(strings::kAppName)) && RawClient(consolePort).Connected(); }, 60000));
  QThread::msleep(500);  // mapped and placed
  const int seen = desk.X(window);
  EXPECT_TRUE(seen > 1000 && seen < 1920 - 200) << seen;
  ASSERT_EQ(RawClient(consolePort).Ask("state 3\n"), "ok\n");  // the control not ready: a connect fails with a box
  const std::pair<const char*, char> cases[] = {{"Machine Connect: 4,localhost,0,100\n", 'c'},  // closed
                                                {"Machine Connect: 9,localhost,0,100\n", 'n'},  // 1025; replaced
                                                {"Machine Connect: 4,localhost,0\n", 'r'}};     // incomplete; reset
  int gone = 0;  // clients gone before this case, each with its line in the log
  for (const auto& [request, ending] : cases) {
    SCOPED_TRACE(request);
    auto cam = std::make_unique<RawClient>(port);
    ASSERT_EQ(cam->ReceiveUntil("\n", 30000), strings::Greeting());
    cam->Send(request);
    xcb_window_t box = 0;
    ASSERT_TRUE(Pump([&] { return (box = desk.Find(strings::kAppName, window)) != 0; }, 30000));
    if (ending != 'n') {
      ending == 'r' ? cam->Reset() : cam->Close();
      const QRegularExpression went("(left|replaced): ");  // the lines of the clients gone
      ASSERT_TRUE(
          Pump([&] { return QString::fromStdString(ReadText(LogFile().toStdString())).count(went) > gone; }, 30000));
    }
    cam = std::make_unique<RawClient>(port);  // greeted while the box is open
    ASSERT_EQ(cam->ReceiveUntil("\n", 30000), strings::Greeting());
    desk.Close(box);
    ASSERT_TRUE(Pump([&] { return desk.Find(strings::kAppName, window) == 0; }, 30000));
    EXPECT_EQ(cam->Ask("Send Device\n"), "Device Data: 0,\n");
    gone += 2;  // the case's first client, and the one served after its box
  }
  desk.Close(window);
  ASSERT_TRUE(process.waitForFinished(60000));
  EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();  // 99: the memory checker's
  EXPECT_EQ(Stored().xTopLeft, seen);
}

INSTANTIATE_TEST_SUITE_P(Linux, Desktop, ::testing::Values(Program::Linux), ProgramName);
