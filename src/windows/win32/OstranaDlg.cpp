#include "win32/OstranaDlg.h"

#include <commctrl.h>

#include "common/StringTable.h"
#include "common/WideText.h"
#include "face/ControlIds.h"
#include "face/GuideFile.h"

namespace ostrana::win32 {
namespace {

HINSTANCE Module() { return GetModuleHandleA(nullptr); }

// Callbacks of the system are stdcall functions (a lambda converts only to the default convention).
BOOL CALLBACK AddScreen(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{sizeof info, {}, {}, 0};
  if (GetMonitorInfoA(monitor, &info)) {
    const RECT& r = info.rcWork;
    reinterpret_cast<std::vector<face::Rect>*>(list)->push_back({r.left, r.top, r.right - r.left, r.bottom - r.top});
  }
  return TRUE;
}

INT_PTR CALLBACK AboutProcedure(HWND about, UINT message, WPARAM w, LPARAM) {
  if (message == WM_INITDIALOG) {
    SetDlgItemTextA(about, IDC_ABOUT_NAME, strings::kAppName);
    SetDlgItemTextA(about, IDC_ABOUT_VERSION, strings::kVersion);
    SetDlgItemTextA(about, IDC_ABOUT_LEGAL1, strings::kLegal1);
    SetDlgItemTextA(about, IDC_ABOUT_LEGAL2, strings::kLegal2);
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(w) == IDOK || LOWORD(w) == IDCANCEL)) {
    EndDialog(about, LOWORD(w));
    return TRUE;
  }
  return FALSE;
}

HICON Icon(int id, int size) {
  return static_cast<HICON>(LoadImageA(Module(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_SHARED));
}

COLORREF Colour(face::Rgb rgb) { return RGB(rgb.red, rgb.green, rgb.blue); }

std::string Text(HWND control) {
  char text[64] = "";
  GetWindowTextA(control, text, sizeof text);
  return text;
}

}  // namespace

OstranaDlg::OstranaDlg(Services services, std::int32_t xTopLeft, std::int32_t yTopLeft, bool muted)
    : services_(std::move(services)), kept_{xTopLeft, yTopLeft, muted, false} {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  PlaySound(platform::kSoundStart);
}

OstranaDlg::~OstranaDlg() {
  if (window_ && !modal_) DestroyWindow(window_);
  if (infoMenu_) DestroyMenu(infoMenu_);
  if (greenBrush_) DeleteObject(greenBrush_);
  if (redBrush_) DeleteObject(redBrush_);
}

void OstranaDlg::DoModal() {
  modal_ = true;
  DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_OSTRANA), nullptr, &OstranaDlg::Procedure,
                  reinterpret_cast<LPARAM>(this));
  window_ = nullptr;
  ended_ = true;
}

HWND OstranaDlg::Create() {
  modal_ = false;
  return CreateDialogParamA(Module(), MAKEINTRESOURCEA(IDD_OSTRANA), nullptr, &OstranaDlg::Procedure,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK OstranaDlg::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_INITDIALOG) {
    auto* self = reinterpret_cast<OstranaDlg*>(l);
    SetWindowLongPtrA(window, DWLP_USER, l);
    self->window_ = window;
    self->OnInitDialog();
    return TRUE;
  }
  auto* self = reinterpret_cast<OstranaDlg*>(GetWindowLongPtrA(window, DWLP_USER));
  return self ? self->OnMessage(message, w, l) : FALSE;
}

INT_PTR OstranaDlg::OnMessage(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_COMMAND: {
      const int id = LOWORD(w);
      const int code = HIWORD(w);
      if (id == IDC_PORT_STATUS && code == BN_CLICKED)
        OnPortButton();
      else if (id == IDC_INFO && code == BN_CLICKED)
        OnInfoButton();
      else if (id == IDC_EDIT_PORT && code == BN_CLICKED)
        OnEditPort();
      else if (id == IDC_PORT && code == EN_CHANGE && !settingPortText_)
        OnPortTextChanged();
      else if (id == IDCANCEL)
        End();  // Escape: ends as Cancel, the place is not recorded
      else
        return FALSE;
      return TRUE;
    }
    case WM_CTLCOLORSTATIC:
      // The port field asks for static colours while it is disabled: outside editing.
      if (reinterpret_cast<HWND>(l) == Item(IDC_PORT)) {
        const bool listening = services_.run.Listening();
        HDC dc = reinterpret_cast<HDC>(w);
        SetTextColor(dc, Colour(face::kPortText));
        SetBkColor(dc, Colour(face::PortBackground(listening)));
        return reinterpret_cast<INT_PTR>(listening ? greenBrush_ : redBrush_);
      }
      if (reinterpret_cast<HWND>(l) == Item(IDC_MACHINE_NOTICE)) {
        HDC dc = reinterpret_cast<HDC>(w);
        SetTextColor(dc, Colour(face::kNoticeText));
        SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_BTNFACE));
      }
      return FALSE;
    case WM_TIMER:
      // The CAM client has gone: end the run.
      if (w == face::kWatchTimer && !services_.watch.IsKelvraRunning()) End();
      return TRUE;
    case WM_CLOSE: OnClose(); return TRUE;
    default: return FALSE;
  }
}

void OstranaDlg::OnInitDialog() {
  SetWindowTextA(window_, strings::kAppName);
  if (services_.watch.IsKelvraRunning()) {  // otherwise no watch for the whole run
    SetTimer(window_, face::kWatchTimer, face::kWatchPeriodMs, nullptr);
    watching_ = true;
  }
  SendMessageA(window_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon(face::kIconWindow, 32)));
  SendMessageA(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon(face::kIconWindow, 16)));
  greenBrush_ = CreateSolidBrush(Colour(face::PortBackground(true)));
  redBrush_ = CreateSolidBrush(Colour(face::PortBackground(false)));
  EnableWindow(Item(IDC_PORT), FALSE);
  services_.run.OpenListener();  // with port recovery when it fails
  HWND info = Item(IDC_INFO);
  SetWindowLongPtrA(info, GWL_STYLE, GetWindowLongPtrA(info, GWL_STYLE) | BS_ICON);
  SendMessageA(info, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(Icon(face::kIconInfo, 32)));
  portTipWindow_ = CreateTip(IDC_PORT_STATUS, strings::kPortTipTitle, strings::kPortTipValid);
  infoTipWindow_ = CreateTip(IDC_INFO, strings::kInfoTipTitle, strings::kInfoTipText);
  statusTipWindow_ = CreateTip(IDC_CONNECTION_STATUS, strings::kStatusTipTitle, strings::kStatusNeither);
  UpdatePortStatus();
  UpdateConnectionStatus(false);  // the first status without a sound

  face::PlaceAtOpen(kept_);
  // Moved just far enough to be seen when the place lies off every screen.
  RECT outer;
  GetWindowRect(window_, &outer);
  std::vector<face::Rect> screens;
  EnumDisplayMonitors(nullptr, nullptr, AddScreen, reinterpret_cast<LPARAM>(&screens));
  const face::Point place = face::PlaceOnScreen({kept_.xTopLeft, kept_.yTopLeft}, outer.right - outer.left,
                                                outer.bottom - outer.top, screens);
  SetWindowPos(window_, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);

  RECT client;
  GetClientRect(window_, &client);
  expandedBottom_ = client.bottom;
  RECT row;
  GetWindowRect(Item(IDC_EDIT_PORT), &row);
  MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&row), 2);
  collapsedBottom_ = row.top;
  UpdateLayout();

  HMENU loaded = LoadMenuA(Module(), MAKEINTRESOURCEA(IDR_INFO_MENU));
  infoMenu_ = loaded;
  HMENU popup = GetSubMenu(infoMenu_, 0);
  InsertMenuA(popup, 2, MF_BYPOSITION | MF_STRING, ID_OPEN_LOG, "Open Log");
  CheckMenuItem(popup, ID_MUTE, MF_BYCOMMAND | (kept_.muted ? MF_CHECKED : MF_UNCHECKED));
}

HWND OstranaDlg::CreateTip(int control, const char* title, const std::string& text) {
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, Module(), nullptr);
  if (!tip) return nullptr;  // a tooltip that cannot be made is simply absent
  SendMessageA(tip, TTM_SETTITLEA, TTI_NONE, reinterpret_cast<LPARAM>(title));
  SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 32767);  // breaks lines at "\n"
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Item(control));
  tool.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tip, TTM_ACTIVATE, TRUE, 0);
  return tip;
}

void OstranaDlg::SetTipText(HWND tip, int control, const std::string& text) {
  if (!tip) return;
  TTTOOLINFOA tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = window_;
  tool.uId = reinterpret_cast<UINT_PTR>(Item(control));
  tool.lpszText = const_cast<char*>(text.c_str());
  SendMessageA(tip, TTM_UPDATETIPTEXTA, 0, reinterpret_cast<LPARAM>(&tool));
}

void OstranaDlg::PlaySound(int id) {
  if (!kept_.muted) services_.sounds.Play(id);
}

void OstranaDlg::UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline) {
  const face::ConnectionLook look =
      face::LookOfConnection(services_.run, services_.machineLine, services_.machineAbsent, machineOnline);
  statusIcon_ = look.icon;
  if (window_) {
    HWND status = Item(IDC_CONNECTION_STATUS);
    SetWindowLongPtrA(status, GWL_STYLE, GetWindowLongPtrA(status, GWL_STYLE) | SS_REALSIZECONTROL);
    SendMessageA(status, STM_SETICON, reinterpret_cast<WPARAM>(Icon(look.icon, 64)), 0);
    SetTipText(statusTipWindow_, IDC_CONNECTION_STATUS, look.text);
    SetDlgItemTextA(window_, IDC_MACHINE_NOTICE, look.notice.c_str());
  }
  if (playSound) PlaySound(look.sound);
}

void OstranaDlg::UpdatePortStatus() {
  const face::PortLook look = face::LookOfPort(services_.run);
  portIcon_ = look.icon;
  if (!window_) return;
  HWND button = Item(IDC_PORT_STATUS);
  SetWindowLongPtrA(button, GWL_STYLE, GetWindowLongPtrA(button, GWL_STYLE) | BS_ICON);
  SendMessageA(button, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(Icon(look.icon, 32)));
  if (!portEditor_.Editing()) {
    settingPortText_ = true;
    SetDlgItemInt(window_, IDC_PORT, static_cast<UINT>(look.shownPort), TRUE);
    settingPortText_ = false;
  }
  SetTipText(portTipWindow_, IDC_PORT_STATUS, look.tipText);
  InvalidateRect(Item(IDC_PORT), nullptr, TRUE);  // the colours follow at the next repaint
}

void OstranaDlg::SetPortButtonEnabled(bool enabled) { EnableWindow(Item(IDC_EDIT_PORT), enabled); }

void OstranaDlg::ShowPortNumber() {
  settingPortText_ = true;
  SetDlgItemInt(window_, IDC_PORT, static_cast<UINT>(services_.run.PortNumber()), TRUE);
  settingPortText_ = false;
}

void OstranaDlg::UpdateLayout() {
  const bool checked = SendMessageA(Item(IDC_PORT_STATUS), BM_GETCHECK, 0, 0) == BST_CHECKED;
  ShowWindow(Item(IDC_EDIT_PORT), checked ? SW_SHOW : SW_HIDE);
  ShowWindow(Item(IDC_PORT), checked ? SW_SHOW : SW_HIDE);
  RECT client, outer;
  GetClientRect(window_, &client);
  GetWindowRect(window_, &outer);
  // Left, top and width stay; the height follows the new bottom of the client area.
  const int height = (outer.bottom - outer.top) - client.bottom + (checked ? expandedBottom_ : collapsedBottom_);
  SetWindowPos(window_, nullptr, 0, 0, outer.right - outer.left, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void OstranaDlg::OnPortButton() {
  UpdateLayout();
  PlaySound(platform::kSoundClick);
}

void OstranaDlg::OnInfoButton() {
  RECT button;
  GetWindowRect(Item(IDC_INFO), &button);
  const int command =
      static_cast<int>(TrackPopupMenu(GetSubMenu(infoMenu_, 0), TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN,
                                      button.left, button.bottom, 0, window_, nullptr));
  OnInfoCommand(command);
}

void OstranaDlg::OnPortTextChanged() {
  portHint_.clear();
  if (face::PortEditor::TakeText(Text(Item(IDC_PORT)), services_.run)) return;
  // Not an integer (yet): the port number stays as it was; said quietly, as the Linux window does.
  if (!IsWindowVisible(Item(IDC_PORT))) return;
  portHint_ = strings::kNotAnInteger;
  const std::wstring text(portHint_.begin(), portHint_.end());
  EDITBALLOONTIP tip{sizeof tip, L"", text.c_str(), TTI_NONE};
  SendMessageW(Item(IDC_PORT), EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&tip));
}

void OstranaDlg::OnInfoCommand(int commandId) {
  switch (commandId) {
    case ID_MUTE:
      kept_.muted = !kept_.muted;  // a sound already playing plays on; nothing is stored before exit
      if (infoMenu_)
        CheckMenuItem(GetSubMenu(infoMenu_, 0), ID_MUTE, MF_BYCOMMAND | (kept_.muted ? MF_CHECKED : MF_UNCHECKED));
      break;
    case ID_INFORMATION: {
      char page[MAX_PATH] = "";
      LoadStringA(Module(), IDS_INFORMATION_PAGE, page, sizeof page);
      // Installed, the guide lies beside the program; a build's lies in its doc/.
      std::string folder = ProgramFile();
      folder = folder.substr(0, folder.find_last_of("\\/"));
      const std::string path = face::GuideFile(folder, page, "");
      if (services_.open && (path.empty() || !services_.open(path)))
        services_.prompts.ShowMessage(strings::GuideNotOpened(path), PromptIcon::None);
      break;
    }
    case ID_OPEN_LOG:
      if (services_.open && !services_.open(services_.logFile))
        services_.prompts.ShowMessage(strings::LogNotOpened(services_.logFile), PromptIcon::None);
      break;
    case ID_ABOUT: DialogBoxParamA(Module(), MAKEINTRESOURCEA(IDD_ABOUT), window_, AboutProcedure, 0); break;
    default: break;
  }
}

void OstranaDlg::OnEditPort() {
  const auto step = portEditor_.Press(services_.run, services_.prompts, kept_);
  if (step == face::PortEditor::Step::Refused) return;
  EnableWindow(Item(IDC_PORT), portEditor_.Editing());
  SetDlgItemTextA(window_, IDC_EDIT_PORT, portEditor_.ButtonText());
  if (step == face::PortEditor::Step::Editing) {
    SetFocus(Item(IDC_PORT));
    return;
  }
  InvalidateRect(window_, nullptr, TRUE);
}

void OstranaDlg::OnClose() {
  // The place is recorded only when the user closes the window.
  RECT outer;
  GetWindowRect(window_, &outer);
  face::RecordAtClose(kept_, outer.left, outer.top);
  End();
}

void OstranaDlg::End() {
  if (ended_) return;
  if (modal_) {
    EndDialog(window_, IDCANCEL);
  } else {
    ended_ = true;
    ShowWindow(window_, SW_HIDE);
  }
}

}  // namespace ostrana::win32
