// The status window on Windows, under Wine with a display, driven through the
// shared status face over a run whose state the test sets: the window-open
// sequence, the four states (icon, tooltip, sound, look), mute, the port row
// and its editing, the watch on the CAM client. The place kept at close is
// checked end to end on ostrana.exe (WindowsProgram).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>  // before gdiplus.h, which needs it
#include <gdiplus.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "common/StringTable.h"
#include "support/FaceFakes.h"
#include "support/TestSupport.h"
#include "win32/OstranaDlg.h"
#include "win32/Services.h"
#include "win32/WinConnectorRun.h"
#include "vc/VcComponent.h"
#include "face/ControlIds.h"

namespace {

using namespace ostrana;

// The tooltip control of one tool of the window, and its text.
struct TipSearch {
  HWND owner, tool;
  std::string found;
};
BOOL CALLBACK FindTip(HWND tip, LPARAM data) {
  auto& s = *reinterpret_cast<TipSearch*>(data);
  wchar_t text[512] = L"";
  TTTOOLINFOW tool{sizeof tool, 0, s.owner, reinterpret_cast<UINT_PTR>(s.tool), {}, nullptr, text, 0, nullptr};
  if (GetWindow(tip, GW_OWNER) != s.owner || !SendMessageW(tip, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&tool)))
    return TRUE;
  SendMessageW(tip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
  s.found = std::string(text, text + wcslen(text));
  return FALSE;
}

class FakeRun final : public run::RunControl {
 public:
  void SetView(session::StatusView* shown) override { view = shown; }
  void OpenListener() override { listening = port >= 0 && port <= 65535; }
  void MoveListener() override {  // as the session does: the view shows the new port
    ++moves;
    OpenListener();
    if (view) view->UpdatePortStatus();
  }
  void CloseSockets() override { listening = false; }
  std::int32_t PortNumber() const override { return port; }
  void SetPortNumber(std::int32_t value) override { port = value; }
  std::string ListenAddressText() const override { return "all interfaces"; }
  bool Listening() const override { return listening; }
  int BoundPort() const override { return listening ? port : 0; }
  bool ClientConnected() const override { return client; }
  bool MachineOnline() const override { return machine; }
  std::int32_t port = 50000;
  bool listening = false, client = false, machine = false;
  int moves = 0;
  session::StatusView* view = nullptr;
};

class StatusWindowTest : public ::testing::Test {
 protected:
  void Open(std::int32_t x = 0, std::int32_t y = 0) {
    dialog = std::make_unique<win32::OstranaDlg>(
        win32::OstranaDlg::Services{run, prompts, sounds, watch, nullptr, "the virtual control", "ostrana.log", absent}, x, y,
        false);
    ASSERT_NE(dialog->Create(), nullptr);
    run.SetView(dialog.get());
    Pump();
  }
  static void Pump() {
    MSG message;
    for (int i = 0; i < 20; ++i, Sleep(5))
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  }
  HWND Item(int id) const { return GetDlgItem(dialog->Handle(), id); }
  void Click(int id) {
    SendMessageA(Item(id), BM_CLICK, 0, 0);
    Pump();
  }
  // The text the window's tooltip controls hold for a control (read in
  // UTF-16: the ANSI read stops at 80 characters).
  std::string Tip(int id) const {
    TipSearch search{dialog->Handle(), Item(id), {}};
    EnumThreadWindows(GetCurrentThreadId(), FindTip, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  int Height() const {
    RECT r;
    GetWindowRect(dialog->Handle(), &r);
    return r.bottom - r.top;
  }
  // The window as the screen shows it, caption included; saved as PNG into
  // OSTRANA_SCREENSHOTS when set (scripts/windows-screenshots makes docs/ ones).
  std::vector<std::uint32_t> Photograph(const char* name) {
    SetForegroundWindow(dialog->Handle());  // the caption as it looks in use
    RedrawWindow(dialog->Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Pump();
    RECT r;
    GetWindowRect(dialog->Handle(), &r);
    const int width = r.right - r.left, height = r.bottom - r.top;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFO info{{sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {}};
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height);
    GetDIBits(memory, bitmap, 0, height, pixels.data(), &info, DIB_RGB_COLORS);
    if (const char* out = std::getenv("OSTRANA_SCREENSHOTS")) {
      ULONG_PTR gdiplus = 0;
      Gdiplus::GdiplusStartupInput input;
      Gdiplus::GdiplusStartup(&gdiplus, &input, nullptr);
      Gdiplus::GpBitmap* image = nullptr;
      Gdiplus::DllExports::GdipCreateBitmapFromHBITMAP(bitmap, nullptr, &image);
      const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
      const std::string file = std::string(out) + "\\" + name + ".png";
      EXPECT_EQ(Gdiplus::DllExports::GdipSaveImageToFile(image, std::wstring(file.begin(), file.end()).c_str(), &png,
                                                         nullptr),
                Gdiplus::Ok);
      Gdiplus::DllExports::GdipDisposeImage(image);
      Gdiplus::GdiplusShutdown(gdiplus);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
  }

  run::MachineAbsent absent = run::MachineAbsent::No;
  FakeRun run;
  test::ScriptedPrompts prompts;
  test::RecordingSounds sounds;
  test::FakeWatch watch;
  std::unique_ptr<win32::OstranaDlg> dialog;
};

TEST_F(StatusWindowTest, OpensListeningWithNobodyConnectedAndThePortRowHidden) {
  Open();
  char caption[64] = "";
  GetWindowTextA(dialog->Handle(), caption, sizeof caption);
  EXPECT_STREQ(caption, "Ostrana Connector");
  EXPECT_EQ(sounds.played, std::vector<int>({platform::kSoundStart}));  // no status sound at open
  EXPECT_EQ(std::pair(dialog->StatusIcon(), dialog->PortIcon()), std::pair(132, 129));
  EXPECT_EQ(GetWindowTextLengthA(Item(IDC_MACHINE_NOTICE)), 0);  // a component is there
  EXPECT_EQ(Tip(IDC_CONNECTION_STATUS), std::string(strings::kStatusNeither) + "\nMachine: the virtual control");
  EXPECT_EQ(Tip(IDC_PORT_STATUS), std::string(strings::kPortTipValid) + "\nPort 50000 on all interfaces");
  EXPECT_EQ(Tip(IDC_INFO), strings::kInfoTipText);
  // The port row hidden and not editable, with the port; no watch; nothing stored: the default place.
  EXPECT_EQ(std::tuple(IsWindowVisible(Item(IDC_PORT)) || IsWindowEnabled(Item(IDC_PORT)),
                       GetDlgItemInt(dialog->Handle(), IDC_PORT, nullptr, TRUE), dialog->WatchRunning(),
                       dialog->Kept().xTopLeft, dialog->Kept().yTopLeft),
            std::tuple(false, 50000u, false, 1250, 60));
}

// Each state has its icon, tooltip and sound, and looks apart from the others.
TEST_F(StatusWindowTest, EachStateHasItsIconTipAndSoundAndLooksApart) {
  Open(20, 20);
  const struct {
    const char* picture;
    bool client, machine;
    int icon, sound;
    const char* text;
  } states[] = {
      {"windows-status-client-only", true, false, 135, platform::kSoundClientOnly, strings::kStatusClientOnly},
      {"windows-status-both", true, true, 133, platform::kSoundBoth, strings::kStatusBoth},
      {"windows-status-machine-only", false, true, 134, platform::kSoundMachineOnly, strings::kStatusMachineOnly},
      {"windows-status-neither", false, false, 132, platform::kSoundNeither, strings::kStatusNeither}};
  std::vector<std::vector<std::uint32_t>> seen;
  for (const auto& state : states) {
    std::tie(run.client, run.machine) = std::tie(state.client, state.machine);
    dialog->UpdateConnectionStatus(true);
    EXPECT_EQ(dialog->StatusIcon(), state.icon);
    EXPECT_EQ(Tip(IDC_CONNECTION_STATUS).substr(0, std::string(state.text).size() + 1), state.text + std::string("\n"));
    EXPECT_EQ(sounds.played.back(), state.sound);
    seen.push_back(Photograph(state.picture));
    for (std::size_t i = 0; i + 1 < seen.size(); ++i) EXPECT_NE(seen[i], seen.back()) << state.picture;
  }
  Click(IDC_PORT_STATUS);
  EXPECT_NE(Photograph("windows-port-row"), seen.back());

  // Muted: the icons change as usual, no status sound, no click.
  dialog->OnInfoCommand(ID_MUTE);
  const auto before = sounds.played.size();
  run.client = true;
  dialog->UpdateConnectionStatus(true);
  Click(IDC_PORT_STATUS);
  EXPECT_EQ(std::tuple(dialog->StatusIcon(), sounds.played.size(), dialog->Kept().muted),
            std::tuple(135, before, true));
  dialog->OnInfoCommand(ID_MUTE);
  EXPECT_FALSE(dialog->Kept().muted);
}

TEST_F(StatusWindowTest, ThePortRowOpensAndEditsThePort) {
  Open();
  const int collapsed = Height();
  Click(IDC_PORT_STATUS);
  EXPECT_EQ(std::tuple(IsWindowVisible(Item(IDC_PORT)) != 0, Height() > collapsed, sounds.played.back()),
            std::tuple(true, true, platform::kSoundClick));

  Click(IDC_EDIT_PORT);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_PORT)));
  SetDlgItemTextA(dialog->Handle(), IDC_PORT, "50x");  // said quietly, the port left as it was
  EXPECT_EQ(dialog->PortHint(), strings::kNotAnInteger);
  SetDlgItemTextA(dialog->Handle(), IDC_PORT, "70000");
  EXPECT_EQ(dialog->PortHint(), "");
  Click(IDC_EDIT_PORT);  // refused: still editing, the listener untouched
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "Enter an integer between 0 and 65535.");
  EXPECT_EQ(std::pair(IsWindowEnabled(Item(IDC_PORT)) != 0, run.moves), std::pair(true, 0));
  SetDlgItemTextA(dialog->Handle(), IDC_PORT, "50007");
  Click(IDC_EDIT_PORT);
  EXPECT_EQ(Tip(IDC_PORT_STATUS), std::string(strings::kPortTipValid) + "\nPort 50007 on all interfaces");
  EXPECT_EQ(std::tuple(run.port, run.moves, dialog->Kept().portSetByUser, IsWindowEnabled(Item(IDC_PORT)) != 0),
            std::tuple(50007, 1, true, false));

  Click(IDC_PORT_STATUS);
  EXPECT_EQ(std::pair(IsWindowVisible(Item(IDC_PORT)) != 0, Height()), std::pair(false, collapsed));
}

TEST_F(StatusWindowTest, TheCamClientLeavingEndsTheRun) {
  watch.running = true;
  Open();
  EXPECT_TRUE(dialog->WatchRunning());
  SendMessageA(dialog->Handle(), WM_TIMER, 1025, 0);
  EXPECT_FALSE(dialog->Ended());
  watch.running = false;
  SendMessageA(dialog->Handle(), WM_TIMER, 1025, 0);
  EXPECT_EQ(std::pair(dialog->Ended(), dialog->Kept().xTopLeft),
            std::pair(true, 1250));  // not a close: the place is not recorded
}

}  // namespace

// Without the component the window says so beside the grey plug, and what to do.
TEST_F(StatusWindowTest, AMissingComponentIsSaidInTheWindow) {
  absent = run::MachineAbsent::NotInstalled;
  Open();
  char text[256] = "";
  GetDlgItemTextA(dialog->Handle(), IDC_MACHINE_NOTICE, text, sizeof text);
  EXPECT_TRUE(IsWindowVisible(Item(IDC_MACHINE_NOTICE)) && std::string(text).ends_with("from the Start menu")) << text;
  Photograph("windows-no-component");
}

// A box raised while the window is open (a client's request, from behind the
// client) is owned by the window, above others as it is, and disables it until
// closed; before the window exists a box is topmost on its own.
TEST_F(StatusWindowTest, ABoxIsOwnedByTheWindowAndDisablesItUntilClosed) {
  Open();
  // Another window has the focus, as the CAM client has when its request raises the box.
  HWND other = CreateWindowExA(0, "STATIC", "Kelvra", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr,
                               nullptr, nullptr, nullptr);
  SetActiveWindow(other);
  win32::BoxPrompts boxes;
  const DWORD thread = GetCurrentThreadId();
  for (const bool owned : {true, false}) {
    boxes.OwnedBy([&] { return owned ? dialog->Handle() : nullptr; });
    std::tuple<HWND, bool, bool> seen{};  // the box's owner, topmost, the window enabled
    std::thread closer([&] {
      HWND box = nullptr;
      for (int i = 0; i < 500 && !IsWindowVisible(box); ++i, Sleep(10))  // shown: set up as it stays
        for (box = nullptr; (box = FindWindowExA(nullptr, box, "#32770", strings::kAppName)) &&
                            (box == dialog->Handle() || GetWindowThreadProcessId(box, nullptr) != thread);) {
        }  // this test's box: a test beside it has windows of the same name
      seen = {GetWindow(box, GW_OWNER), (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0,
              IsWindowEnabled(dialog->Handle()) != FALSE};
      PostMessageA(box, WM_COMMAND, IDOK, 0);  // none: the box stays open, the test times out
    });
    boxes.ShowMessage("The client asks", PromptIcon::None);
    closer.join();
    EXPECT_EQ(seen, std::tuple(owned ? dialog->Handle() : nullptr, true, !owned)) << owned;
    EXPECT_TRUE(IsWindowEnabled(dialog->Handle()));
  }
  DestroyWindow(other);
}

// Lost, then back, posted by the worker before the loop turns: each change
// is shown and sounded as itself, in order.
TEST_F(StatusWindowTest, TwoPostedChangesSoundEachAsItself) {
  test::TempDir dir;
  vc::VirtualControl control(dir.path() / "tnc");
  vc::VcComponent component(control);
  win32::WinConnectorRun connector(component, prompts, "ostrana");
  win32::OstranaDlg shown({connector.Run(), prompts, sounds, watch, nullptr, "", "ostrana.log"}, 0, 0, false);
  ASSERT_NE(shown.Create(), nullptr);
  connector.Run().SetView(&shown);
  Pump();
  sounds.played.clear();
  std::thread([&] {
    connector.Run().Operations().Stores().SetMachineStatus(false);
    connector.Run().Operations().Stores().SetMachineStatus(true);
  }).join();
  Pump();
  EXPECT_EQ(std::pair(sounds.played, shown.StatusIcon()),
            std::pair(std::vector<int>{platform::kSoundNeither, platform::kSoundMachineOnly}, 134));
  connector.Run().SetView(nullptr);
}
