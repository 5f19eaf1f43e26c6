// The watch on the CAM client's window. On X11 it walks the top-level
// windows (the window manager's client list when there is one, the root's
// children otherwise), topmost first, skipping windows that belong to
// another (transient) and windows without a title.
#include <QGuiApplication>
#include <cstring>
#include <string>
#include <vector>
#include <xcb/xcb.h>

#include "qt/PlatformServices.h"

namespace ostrana::qt {

using namespace platform;  // the seams implemented here
namespace {

class NoWindowWatch final : public WindowWatch {
 public:
  bool IsKelvraRunning() override { return false; }
};

class X11WindowWatch final : public WindowWatch {
 public:
  X11WindowWatch() {
    connection_ = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection_)) return;
    root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    clientList_ = Atom("_NET_CLIENT_LIST_STACKING");
    netWmName_ = Atom("_NET_WM_NAME");
    utf8_ = Atom("UTF8_STRING");
  }
  ~X11WindowWatch() override { xcb_disconnect(connection_); }

  bool IsKelvraRunning() override {
    if (xcb_connection_has_error(connection_)) return false;
    for (xcb_window_t w : TopLevelWindowsTopmostFirst()) {
      if (!Property(w, XCB_ATOM_WM_TRANSIENT_FOR, XCB_ATOM_WINDOW).empty()) continue;
      std::string title = Property(w, netWmName_, utf8_);
      if (title.empty()) title = Property(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
      if (title.empty()) continue;
      title.resize(std::min<std::size_t>(title.size(), 259));  // as read into a 260-character buffer
      if (title.find("Quorvane Kelvra") != std::string::npos) return true;
    }
    return false;
  }

 private:
  xcb_atom_t Atom(const char* name) {
    auto cookie = xcb_intern_atom(connection_, 0, static_cast<uint16_t>(std::strlen(name)), name);
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(connection_, cookie, nullptr);
    const xcb_atom_t atom = reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    free(reply);
    return atom;
  }

  std::string Property(xcb_window_t w, xcb_atom_t property, xcb_atom_t type) {
    if (property == XCB_ATOM_NONE) return {};
    auto cookie = xcb_get_property(connection_, 0, w, property, type, 0, 1024);
    xcb_get_property_reply_t* reply = xcb_get_property_reply(connection_, cookie, nullptr);
    std::string value;
    if (reply && reply->type != XCB_ATOM_NONE) {
      const int length = xcb_get_property_value_length(reply);
      value.assign(static_cast<const char*>(xcb_get_property_value(reply)), static_cast<std::size_t>(length));
    }
    free(reply);
    return value;
  }

  std::vector<xcb_window_t> TopLevelWindowsTopmostFirst() {
    std::vector<xcb_window_t> windows;
    const std::string list = Property(root_, clientList_, XCB_ATOM_WINDOW);
    if (!list.empty()) {
      windows.resize(list.size() / sizeof(xcb_window_t));
      std::memcpy(windows.data(), list.data(), windows.size() * sizeof(xcb_window_t));
    } else {
      auto cookie = xcb_query_tree(connection_, root_);
      xcb_query_tree_reply_t* tree = xcb_query_tree_reply(connection_, cookie, nullptr);
      if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        windows.assign(children, children + xcb_query_tree_children_length(tree));
      }
      free(tree);
    }
    return {windows.rbegin(), windows.rend()};  // both lists run bottom to top
  }

  xcb_connection_t* connection_ = nullptr;
  xcb_window_t root_ = 0;
  xcb_atom_t clientList_ = XCB_ATOM_NONE, netWmName_ = XCB_ATOM_NONE, utf8_ = XCB_ATOM_NONE;
};

}  // namespace

std::unique_ptr<WindowWatch> MakeWindowWatch() {
  if (QGuiApplication::platformName() == QLatin1String("xcb")) return std::make_unique<X11WindowWatch>();
  return std::make_unique<NoWindowWatch>();  // Wayland, offscreen: no window listing
}

bool CanOpenX11Display() {
  xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
  const bool ok = !xcb_connection_has_error(connection);
  xcb_disconnect(connection);
  return ok;
}

}  // namespace ostrana::qt
