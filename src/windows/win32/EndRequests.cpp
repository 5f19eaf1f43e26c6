#include "win32/EndRequests.h"

#include <atomic>

#include "win32/MessageWindow.h"

namespace ostrana::win32 {

namespace {

// Windows ends a process about five seconds after its console closes or its
// session ends; a request that waits gives up a little before.
constexpr DWORD kWaitBound = 4500;  // ms

std::atomic<HWND> target{nullptr};
HANDLE ended = nullptr;  // manual reset: set once, every waiting request returns

void AskToEnd(bool wait) {
  if (HWND window = target.load()) PostMessageW(window, kQuitMessage, 0, 0);
  if (wait) WaitForSingleObject(ended, kWaitBound);
}

BOOL WINAPI OnConsoleControl(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT: AskToEnd(false); return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT: AskToEnd(true); return TRUE;
    default: return FALSE;
  }
}

LRESULT CALLBACK OnSessionMessage(HWND window, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_QUERYENDSESSION: return TRUE;  // ending is fine; it begins only if the session really ends
    case WM_ENDSESSION:
      if (w) AskToEnd(true);
      return 0;
    case WM_CLOSE: AskToEnd(false); return 0;  // the window stays until the process ends
    default: return DefWindowProcW(window, message, w, l);
  }
}

DWORD WINAPI SessionWindowThread(void*) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = OnSessionMessage;
  type.hInstance = GetModuleHandleW(nullptr);
  type.lpszClassName = L"OstranaSessionWindow";
  RegisterClassExW(&type);
  // Top-level (a message-only window hears no session messages), never shown.
  if (!CreateWindowExW(WS_EX_TOOLWINDOW, type.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                       type.hInstance, nullptr))
    return 1;
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return 0;
}

}  // namespace

void EndRequestsTo(HWND window) {
  target = window;
  if (ended) return;
  ended = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  if (HANDLE thread = CreateThread(nullptr, 0, SessionWindowThread, nullptr, 0, nullptr)) CloseHandle(thread);
}

void RunEnded() {
  if (ended) SetEvent(ended);
}

}  // namespace ostrana::win32
