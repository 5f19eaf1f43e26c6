// The status window: a small always-on-top window that shows whether the
// port listens and whether the CAM client and the machine tool are
// connected, lets the user move the port and mute the sounds, and ends the
// run when the CAM client's window goes away. It shows; the ConnectorRun owns
// the run. Main thread only.
#pragma once

#include <QDialog>
#include <QUrl>
#include <cstdint>
#include <functional>

#include "face/ControlIds.h"
#include "face/StatusFace.h"
#include "run/RunControl.h"
#include "session/StatusView.h"
#include "common/Prompts.h"
#include "platform/Sounds.h"
#include "platform/WindowWatch.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTimer;
class QToolButton;

namespace ostrana::ui {

inline constexpr int kDefaultX = face::kDefaultX;
inline constexpr int kDefaultY = face::kDefaultY;

class OstranaDlg final : public QDialog, public session::StatusView {
 public:
  struct Services {
    run::RunControl& run;
    Prompts& prompts;
    platform::SoundPlayer& sounds;
    platform::WindowWatch& watch;
    std::function<bool(const QUrl&)> openUrl;  // the desktop's "open"; false when nothing opens it
    std::function<void()> showAbout;           // empty: the About box, modal
    std::string machineLine;                   // the status tooltip's "Machine:" line, when not empty
    QString logFile;                           // the event log "Open Log" shows
    run::MachineAbsent machineAbsent = run::MachineAbsent::No;  // said in the window's notice line
  };

  // Plays the start-up sound unless muted.
  OstranaDlg(Services services, std::int32_t xTopLeft, std::int32_t yTopLeft, bool muted);

  // StatusView.
  void UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline = std::nullopt) override;
  void UpdatePortStatus() override;
  void SetPortButtonEnabled(bool enabled) override;
  void ShowPortNumber() override;
  void ListenFailed(int, const std::string&) override {}  // the recovery question says it

  // The menu commands by id (137 Mute, 138 Help, 139 About).
  void OnInfoCommand(int commandId);

  // What is kept at exit.
  using KeptState = face::KeptState;
  const KeptState& Kept() const { return kept_; }
  bool WatchRunning() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // The first time the window is shown (exec or show), it opens first.
  void setVisible(bool visible) override;

 private:
  void OnPortButton();
  void OnEditPort();
  void OnPortTextChanged(const QString& text);
  void OnTimer();
  void UpdateLayout();
  void ApplyPortColours();
  void PlaySound(int id);

  KeptState kept_;
  Services services_;
  QPushButton* portStatus_;
  QToolButton* info_;
  QLabel* connectionStatus_;
  QLabel* notice_;  // what is missing on the machine side, and the next step
  QPushButton* editPort_;
  QLineEdit* port_;
  QMenu* infoMenu_;
  QAction* muteAction_ = nullptr;
  QTimer* watchTimer_;
  int collapsedBottom_ = 0;
  int expandedBottom_ = 0;
  face::PortEditor portEditor_;
  // The window-open sequence: caption, watch, icons, first listen (with port
  // recovery), tooltips, first status, placement, port row, menu.
  void OnInitDialog();
  bool opened_ = false;  // OnInitDialog has run
  bool placed_ = false;  // the first show has checked the place against the screens
};

// The text of a tooltip: a bold title line over a text that breaks at "\n".
QString TooltipHtml(const char* title, const QString& text);
// The user guide the Help command opens (face/GuideFile.h); empty when the run has none.
QUrl HelpUrl();
// Where a window of `size` that wants to be at `place` goes: the place itself
// when the window lies wholly on the `screens` (which do not overlap);
// otherwise moved just far enough to lie wholly on the screen nearest to it.
QPoint PlaceOnScreen(QPoint place, QSize size, const QList<QRect>& screens);
// The window's port colours: text on green while listening, on red while not,
// both legible (contrast above 4.5:1 against white).
QColor PortColour(bool listening);

}  // namespace ostrana::ui
