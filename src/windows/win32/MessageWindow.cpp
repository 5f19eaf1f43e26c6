#include "win32/MessageWindow.h"

namespace ostrana::win32 {
namespace {
const wchar_t kClassName[] = L"OstranaMessageWindow";
}  // namespace

MessageWindow::MessageWindow() {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = &MessageWindow::Procedure;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = kClassName;
  RegisterClassExW(&type);  // fails harmlessly when already registered
  window_ = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, type.hInstance, nullptr);
  SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // The loop's own end: a quit request posted from any thread.
  On(kQuitMessage, [](WPARAM, LPARAM) { PostQuitMessage(0); });
}

MessageWindow::~MessageWindow() {
  if (window_) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

LRESULT CALLBACK MessageWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self) {
    const auto it = self->handlers_.find(message);
    if (it != self->handlers_.end()) {
      const Handler handler = it->second;  // a handler may replace itself
      handler(w, l);
      return 0;
    }
  }
  return DefWindowProcW(window, message, w, l);
}

void RunEventLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace ostrana::win32
