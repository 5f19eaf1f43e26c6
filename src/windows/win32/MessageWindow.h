// A message-only window: the Windows shell's event loop delivers socket
// events, timers and posts from other threads to it, and it hands each
// message to the handler registered for it. What the Qt event loop's
// signals and queued calls are on Linux.
//
// Threads: made, used and destroyed on the main thread; Post may be called
// from any thread.
#pragma once

#include <windows.h>

#include <functional>
#include <map>

namespace ostrana::win32 {

// The program's own messages.
inline constexpr UINT kSocketMessage = WM_APP + 1;  // WSAAsyncSelect: wParam socket, lParam event
inline constexpr UINT kStatusMessage = WM_APP + 2;  // the device status changed (from the worker)
inline constexpr UINT kQuitMessage = WM_APP + 3;    // end the event loop (Ctrl-C, close)
inline constexpr UINT kClosedMessage = WM_APP + 4;  // a connection reset by us: report it

class MessageWindow {
 public:
  using Handler = std::function<void(WPARAM, LPARAM)>;
  MessageWindow();
  ~MessageWindow();
  MessageWindow(const MessageWindow&) = delete;
  MessageWindow& operator=(const MessageWindow&) = delete;

  HWND Handle() const { return window_; }
  // The handler of `message` (WM_TIMER included, by timer id in wParam).
  void On(UINT message, Handler handler) { handlers_[message] = std::move(handler); }
  // Posts a message to be handled on the main thread; any thread. False
  // when the window is gone.
  bool Post(UINT message, WPARAM w = 0, LPARAM l = 0) const { return PostMessageW(window_, message, w, l) != 0; }

 private:
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  HWND window_ = nullptr;
  std::map<UINT, Handler> handlers_;
};

// Runs the main thread's event loop until kQuitMessage or WM_QUIT.
void RunEventLoop();

}  // namespace ostrana::win32
