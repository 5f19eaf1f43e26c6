// The status window on Windows, under Wine with a display: the window-open
// sequence, the connection and port states with their icons, tooltips and
// sounds, the port row and its editing, the menu's mute, the place at close,
// and the watch on the CAM client. The window is driven through the shared
// status face over a run whose state the test sets.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "common/StringTable.h"
#include "support/FaceFakes.h"
#include "support/TestSupport.h"
#include "win32/OstranaDlg.h"
#include "win32/resource.h"

namespace {

using namespace ostrana;
using test::FakeWatch;
using test::RecordingSounds;

class FakeRun final : public run::RunControl {
 public:
  void SetView(session::StatusView*) override {}
  void OpenListener() override { listening = port >= 0 && port <= 65535; }
  void MoveListener() override {
    ++moves;
    OpenListener();
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
};

class StatusWindowTest : public ::testing::Test {
 protected:
  void Open(std::int32_t x = 0, std::int32_t y = 0, bool muted = false) {
    dialog = std::make_unique<win32::OstranaDlg>(
        win32::OstranaDlg::Services{run, prompts, sounds, watch, nullptr, true, "ostrana.log"}, x, y, muted);
    ASSERT_NE(dialog->Create(), nullptr);
    Pump();
  }
  static void Pump() {
    MSG message;
    for (int i = 0; i < 20; ++i) {
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
      }
      Sleep(5);
    }
  }
  HWND Item(int id) const { return GetDlgItem(dialog->Handle(), id); }
  void Click(int id) {
    SendMessageA(Item(id), BM_CLICK, 0, 0);
    Pump();
  }
  int Height() const {
    RECT r;
    GetWindowRect(dialog->Handle(), &r);
    return r.bottom - r.top;
  }

  FakeRun run;
  test::ScriptedPrompts prompts;
  RecordingSounds sounds;
  FakeWatch watch;
  std::unique_ptr<win32::OstranaDlg> dialog;
};

TEST_F(StatusWindowTest, OpensListeningWithNobodyConnectedAndThePortRowHidden) {
  Open();
  char caption[64] = "";
  GetWindowTextA(dialog->Handle(), caption, sizeof caption);
  EXPECT_STREQ(caption, "Ostrana Connector");
  EXPECT_EQ(sounds.played, std::vector<int>({platform::kSoundStart}));  // no status sound at open
  EXPECT_EQ(dialog->StatusIcon(), 132);
  EXPECT_EQ(dialog->StatusTip(), std::string(strings::kStatusNeither) + "\nMachine: the virtual control");
  EXPECT_EQ(dialog->PortIcon(), 129);
  EXPECT_EQ(dialog->PortTip(), std::string(strings::kPortTipValid) + "\nPort 50000 on all interfaces");
  EXPECT_FALSE(IsWindowVisible(Item(IDC_PORT)));
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_PORT)));
  EXPECT_EQ(GetDlgItemInt(dialog->Handle(), IDC_PORT, nullptr, TRUE), 50000u);
  EXPECT_FALSE(dialog->WatchRunning());
  EXPECT_EQ(dialog->Kept().xTopLeft, 1250);  // nothing stored: the default place
  EXPECT_EQ(dialog->Kept().yTopLeft, 60);
}

TEST_F(StatusWindowTest, EachConnectionStateHasItsIconTextAndSoundUnlessMuted) {
  Open();
  struct Case {
    bool client, machine;
    int icon, sound;
    const char* text;
  };
  const Case cases[] = {{true, false, 135, platform::kSoundClientOnly, strings::kStatusClientOnly},
                        {true, true, 133, platform::kSoundBoth, strings::kStatusBoth},
                        {false, true, 134, platform::kSoundMachineOnly, strings::kStatusMachineOnly},
                        {false, false, 132, platform::kSoundNeither, strings::kStatusNeither}};
  for (const Case& c : cases) {
    run.client = c.client;
    run.machine = c.machine;
    dialog->UpdateConnectionStatus(true);
    EXPECT_EQ(dialog->StatusIcon(), c.icon);
    EXPECT_EQ(dialog->StatusTip().substr(0, dialog->StatusTip().find('\n')), c.text);
    EXPECT_EQ(sounds.played.back(), c.sound);
  }
  dialog->OnInfoCommand(ID_MUTE);
  const auto before = sounds.played.size();
  run.client = true;
  dialog->UpdateConnectionStatus(true);
  Click(IDC_PORT_STATUS);
  EXPECT_EQ(dialog->StatusIcon(), 135);  // icons change as usual
  EXPECT_EQ(sounds.played.size(), before);  // no status sound, no click
  EXPECT_TRUE(dialog->Kept().muted);
  dialog->OnInfoCommand(ID_MUTE);
  EXPECT_FALSE(dialog->Kept().muted);
}

TEST_F(StatusWindowTest, ThePortRowOpensAndEditsThePort) {
  Open();
  const int collapsed = Height();
  Click(IDC_PORT_STATUS);
  EXPECT_TRUE(IsWindowVisible(Item(IDC_PORT)));
  EXPECT_GT(Height(), collapsed);
  EXPECT_EQ(sounds.played.back(), platform::kSoundClick);

  Click(IDC_EDIT_PORT);
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_PORT)));
  SetDlgItemTextA(dialog->Handle(), IDC_PORT, "70000");
  Click(IDC_EDIT_PORT);  // refused: still editing, the listener untouched
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "Enter an integer between 0 and 65535.");
  EXPECT_TRUE(IsWindowEnabled(Item(IDC_PORT)));
  EXPECT_EQ(run.moves, 0);
  SetDlgItemTextA(dialog->Handle(), IDC_PORT, "50007");
  Click(IDC_EDIT_PORT);
  EXPECT_EQ(run.port, 50007);
  EXPECT_EQ(run.moves, 1);
  EXPECT_TRUE(dialog->Kept().portSetByUser);
  EXPECT_FALSE(IsWindowEnabled(Item(IDC_PORT)));

  Click(IDC_PORT_STATUS);
  EXPECT_FALSE(IsWindowVisible(Item(IDC_PORT)));
  EXPECT_EQ(Height(), collapsed);
}

TEST_F(StatusWindowTest, ThePlaceIsRecordedOnCloseOnly) {
  Open(0, 200);  // only the pair 0, 0 is replaced
  EXPECT_EQ(dialog->Kept().xTopLeft, 0);
  SetWindowPos(dialog->Handle(), nullptr, 300, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SendMessageA(dialog->Handle(), WM_CLOSE, 0, 0);
  EXPECT_TRUE(dialog->Ended());
  EXPECT_EQ(dialog->Kept().xTopLeft, 300);
  EXPECT_EQ(dialog->Kept().yTopLeft, 250);
}

TEST_F(StatusWindowTest, TheCamClientLeavingEndsTheRun) {
  watch.running = true;
  Open();
  EXPECT_TRUE(dialog->WatchRunning());
  SendMessageA(dialog->Handle(), WM_TIMER, 1025, 0);
  EXPECT_FALSE(dialog->Ended());
  watch.running = false;
  SendMessageA(dialog->Handle(), WM_TIMER, 1025, 0);
  EXPECT_TRUE(dialog->Ended());
  EXPECT_EQ(dialog->Kept().xTopLeft, 1250);  // not a close: the place is not recorded
}

}  // namespace
