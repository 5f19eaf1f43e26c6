// The status window on Windows: dialog 100 of the program's resources, a
// view of the shared status face (face/StatusFace) over the run, as the Qt
// window is on Linux. It shows and asks; the run is the core's.
//
// Threads: the main thread only, whose message loop (the dialog's modal
// loop) also delivers the client's socket events.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "common/Prompts.h"
#include "face/StatusFace.h"
#include "platform/Sounds.h"
#include "platform/WindowWatch.h"
#include "run/RunControl.h"
#include "session/StatusView.h"

namespace ostrana::win32 {

class OstranaDlg final : public session::StatusView {
 public:
  struct Services {
    run::RunControl& run;
    Prompts& prompts;
    platform::SoundPlayer& sounds;
    platform::WindowWatch& watch;
    std::function<bool(const std::string&)> open;  // the shell's "open"; false when nothing opened
    std::string machineLine;                       // the status tooltip's "Machine:" line, when not empty
    std::string logFile;                           // what "Open Log" opens
    run::MachineAbsent machineAbsent = run::MachineAbsent::No;  // said in the window's notice line
  };

  // Plays the start-up sound unless muted.
  OstranaDlg(Services services, std::int32_t xTopLeft, std::int32_t yTopLeft, bool muted);
  ~OstranaDlg() override;

  // Runs the window until it ends (closed, Escape, or the CAM client gone).
  void DoModal();
  // The window without its own loop, for tests: the caller pumps messages
  // until Ended().
  HWND Create();
  bool Ended() const { return ended_; }
  HWND Handle() const { return window_; }

  const face::KeptState& Kept() const { return kept_; }
  bool WatchRunning() const { return watching_; }
  // The icons shown, by resource id, for tests.
  int StatusIcon() const { return statusIcon_; }
  int PortIcon() const { return portIcon_; }
  // The hint last shown at the port field ("" while its text is an integer).
  const std::string& PortHint() const { return portHint_; }

  // The menu commands by id (137 Mute, 138 Help, 139 About, 150 Open Log).
  void OnInfoCommand(int commandId);
  void OnPortTextChanged();

  // StatusView.
  void UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline = std::nullopt) override;
  void UpdatePortStatus() override;
  void SetPortButtonEnabled(bool enabled) override;
  void ShowPortNumber() override;
  void ListenFailed(int, const std::string&) override {}  // the recovery question says it

 private:
  static INT_PTR CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l);
  INT_PTR OnMessage(UINT message, WPARAM w, LPARAM l);
  void OnInitDialog();
  void UpdateLayout();
  void OnPortButton();
  void OnInfoButton();
  void OnEditPort();
  void OnClose();
  void End();
  void PlaySound(int id);
  HWND CreateTip(int control, const char* title, const std::string& text);
  void SetTipText(HWND tip, int control, const std::string& text);
  HWND Item(int id) const { return GetDlgItem(window_, id); }

  Services services_;
  face::KeptState kept_;
  std::string portHint_;
  face::PortEditor portEditor_;
  HWND window_ = nullptr;
  bool modal_ = false;
  bool ended_ = false;
  bool watching_ = false;
  bool settingPortText_ = false;  // the port field's text set by the window, not typed
  HWND portTipWindow_ = nullptr;
  HWND infoTipWindow_ = nullptr;
  HWND statusTipWindow_ = nullptr;
  HMENU infoMenu_ = nullptr;
  HBRUSH greenBrush_ = nullptr;
  HBRUSH redBrush_ = nullptr;
  int collapsedBottom_ = 0;
  int expandedBottom_ = 0;
  int statusIcon_ = 0;
  int portIcon_ = 0;
};

}  // namespace ostrana::win32
