#include "ui/OstranaDlg.h"

#include <QCloseEvent>
#include <cstdio>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QSignalBlocker>
#include <algorithm>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QToolButton>
#include <QToolTip>

#include "common/StringTable.h"
#include "face/GuideFile.h"
#include "ui/AboutDlg.h"
#include "ui/DialogUnits.h"

// The icons and sounds are compiled into this library; a static library
// must load them itself.
static void LoadResources() { Q_INIT_RESOURCE(ostrana); }

namespace ostrana::ui {

using namespace platform;  // the sound ids
namespace {

QIcon Icon(int id) { return QIcon(QStringLiteral(":/icons/%1.svg").arg(id)); }

}  // namespace

QString TooltipHtml(const char* title, const QString& text) {
  QString body = text.toHtmlEscaped();
  body.replace(QLatin1Char('\n'), QStringLiteral("<br>"));
  return QStringLiteral("<p style='white-space:pre'><b>%1</b><br>%2</p>")
      .arg(QString::fromUtf8(title).toHtmlEscaped(), body);
}

QUrl HelpUrl() {
  const std::string guide =
      face::GuideFile(QCoreApplication::applicationDirPath().toStdString(), "guide.html", "/usr/share/doc/ostrana");
  return guide.empty() ? QUrl() : QUrl::fromLocalFile(QString::fromStdString(guide));
}

QPoint PlaceOnScreen(QPoint place, QSize size, const QList<QRect>& screens) {
  std::vector<face::Rect> rects;
  for (const QRect& s : screens) rects.push_back({s.left(), s.top(), s.width(), s.height()});
  const face::Point placed = face::PlaceOnScreen({place.x(), place.y()}, size.width(), size.height(), rects);
  return {placed.x, placed.y};
}

QColor Colour(face::Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }

QColor PortColour(bool listening) { return Colour(face::PortBackground(listening)); }

OstranaDlg::OstranaDlg(Services services, std::int32_t x, std::int32_t y, bool mute)
    : kept_{x, y, mute, false}, services_(std::move(services)) {
  LoadResources();
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint);
  const DialogUnits du(font());
  resize(du.X(245), du.Y(60));

  portStatus_ = new QPushButton(this);  // a check box drawn as a push button
  portStatus_->setObjectName(QStringLiteral("IDC_PORT_STATUS"));
  portStatus_->setCheckable(true);
  portStatus_->setGeometry(du.Rect(2, 2, 24, 22));
  portStatus_->setIconSize(QSize(32, 32));

  info_ = new QToolButton(this);
  info_->setObjectName(QStringLiteral("IDC_INFO"));
  info_->setGeometry(du.Rect(26, 2, 36, 22));
  info_->setPopupMode(QToolButton::InstantPopup);

  connectionStatus_ = new QLabel(this);
  connectionStatus_->setObjectName(QStringLiteral("IDC_CONNECTION_STATUS"));
  connectionStatus_->setGeometry(du.Rect(220, 2, 24, 22));
  connectionStatus_->setAlignment(Qt::AlignCenter);

  notice_ = new QLabel(this);
  notice_->setObjectName(QStringLiteral("IDC_MACHINE_NOTICE"));
  notice_->setGeometry(du.Rect(64, 3, 154, 20));
  notice_->setWordWrap(true);
  QPalette red = notice_->palette();
  red.setColor(QPalette::WindowText, Colour(face::kNoticeText));
  notice_->setPalette(red);

  editPort_ = new QPushButton(QStringLiteral("Edit Port"), this);
  editPort_->setObjectName(QStringLiteral("IDC_EDIT_PORT"));
  editPort_->setGeometry(du.Rect(60, 30, 39, 14));
  editPort_->setAutoDefault(false);

  port_ = new QLineEdit(this);
  port_->setObjectName(QStringLiteral("IDC_PORT"));
  port_->setGeometry(du.Rect(115, 30, 60, 14));
  // Only a signed decimal can be typed; what is not yet one leaves the port number alone.
  port_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("-?[0-9]{0,10}")), port_));

  infoMenu_ = new QMenu(this);
  watchTimer_ = new QTimer(this);
  watchTimer_->setInterval(1000);

  connect(portStatus_, &QPushButton::clicked, this, &OstranaDlg::OnPortButton);
  connect(editPort_, &QPushButton::clicked, this, &OstranaDlg::OnEditPort);
  connect(port_, &QLineEdit::textChanged, this, &OstranaDlg::OnPortTextChanged);
  connect(watchTimer_, &QTimer::timeout, this, &OstranaDlg::OnTimer);

  PlaySound(kSoundStart);
}

void OstranaDlg::PlaySound(int id) {
  if (!kept_.muted) services_.sounds.Play(id);
}

void OstranaDlg::OnInitDialog() {
  setWindowTitle(QString::fromUtf8(strings::kAppName));
  if (services_.watch.IsKelvraRunning()) watchTimer_->start();  // otherwise no watch for the whole run
  setWindowIcon(Icon(face::kIconWindow));
  port_->setEnabled(false);
  port_->setText(QString::number(services_.run.PortNumber()));
  services_.run.OpenListener();
  info_->setIcon(Icon(face::kIconInfo));
  info_->setIconSize(QSize(32, 32));
  info_->setToolTip(TooltipHtml(strings::kInfoTipTitle, QString::fromUtf8(strings::kInfoTipText)));
  UpdatePortStatus();
  UpdateConnectionStatus(false);

  face::PlaceAtOpen(kept_);
  move(kept_.xTopLeft, kept_.yTopLeft);  // checked against the screens once the window has its final size

  expandedBottom_ = height();
  collapsedBottom_ = editPort_->geometry().top();
  UpdateLayout();

  muteAction_ = infoMenu_->addAction(QStringLiteral("Mute"));
  muteAction_->setCheckable(true);
  muteAction_->setChecked(kept_.muted);
  connect(muteAction_, &QAction::triggered, this, [this] { OnInfoCommand(ID_MUTE); });
  connect(infoMenu_->addAction(QStringLiteral("Help")), &QAction::triggered, this,
          [this] { OnInfoCommand(ID_INFORMATION); });
  connect(infoMenu_->addAction(QStringLiteral("Open Log")), &QAction::triggered, this,
          [this] { OnInfoCommand(ID_OPEN_LOG); });
  connect(infoMenu_->addAction(QStringLiteral("About")), &QAction::triggered, this,
          [this] { OnInfoCommand(ID_ABOUT); });
  info_->setMenu(infoMenu_);
}

bool OstranaDlg::WatchRunning() const { return watchTimer_->isActive(); }

void OstranaDlg::UpdateConnectionStatus(bool playSound, std::optional<bool> machineOnline) {
  const face::ConnectionLook look =
      face::LookOfConnection(services_.run, services_.machineLine, services_.machineAbsent, machineOnline);
  // The image is scaled to the control's size.
  connectionStatus_->setPixmap(
      Icon(look.icon).pixmap(64, 64).scaled(connectionStatus_->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation));
  connectionStatus_->setProperty("iconId", look.icon);
  const QString text = QString::fromStdString(look.text);
  connectionStatus_->setProperty("statusText", text.section(QLatin1Char('\n'), 0, 0));
  notice_->setText(QString::fromStdString(look.notice));
  if (playSound) PlaySound(look.sound);
  connectionStatus_->setToolTip(TooltipHtml(strings::kStatusTipTitle, text));
}

void OstranaDlg::UpdatePortStatus() {
  const face::PortLook look = face::LookOfPort(services_.run);
  portStatus_->setIcon(Icon(look.icon));
  portStatus_->setProperty("iconId", look.icon);
  if (!portEditor_.Editing()) {
    const QSignalBlocker quiet(port_);
    port_->setText(QString::number(look.shownPort));
  }
  portStatus_->setToolTip(TooltipHtml(strings::kPortTipTitle, QString::fromStdString(look.tipText)));
  ApplyPortColours();
}

void OstranaDlg::ApplyPortColours() {
  // Outside editing the port stands white on green while it listens and
  // white on red while it does not; while editing it has the edit colours.
  QPalette palette = this->palette();
  const QColor back = PortColour(services_.run.Listening());
  palette.setColor(QPalette::Disabled, QPalette::Base, back);
  palette.setColor(QPalette::Disabled, QPalette::Window, back);
  palette.setColor(QPalette::Disabled, QPalette::Text, QColor(255, 255, 255));
  port_->setPalette(palette);
}

void OstranaDlg::SetPortButtonEnabled(bool enabled) { editPort_->setEnabled(enabled); }

void OstranaDlg::ShowPortNumber() { port_->setText(QString::number(services_.run.PortNumber())); }

void OstranaDlg::OnPortTextChanged(const QString& text) {
  if (face::PortEditor::TakeText(text.toStdString(), services_.run)) return;
  // Not an integer (yet): the port number stays as it was; say so quietly.
  if (port_->isVisible())
    QToolTip::showText(port_->mapToGlobal(QPoint(0, port_->height())), QString::fromUtf8(strings::kNotAnInteger),
                       port_);
}

void OstranaDlg::OnEditPort() {
  const auto step = portEditor_.Press(services_.run, services_.prompts, kept_);
  if (step == face::PortEditor::Step::Refused) return;
  port_->setEnabled(portEditor_.Editing());
  editPort_->setText(QString::fromUtf8(portEditor_.ButtonText()));
  if (step == face::PortEditor::Step::Editing) {
    port_->setFocus();
    return;
  }
  repaint();
}

void OstranaDlg::OnPortButton() {
  UpdateLayout();
  PlaySound(kSoundClick);
}

void OstranaDlg::UpdateLayout() {
  const bool checked = portStatus_->isChecked();
  editPort_->setVisible(checked);
  port_->setVisible(checked);
  resize(width(), checked ? expandedBottom_ : collapsedBottom_);
}

void OstranaDlg::OnInfoCommand(int commandId) {
  switch (commandId) {
    case ID_MUTE:
      kept_.muted = !kept_.muted;  // a sound already playing plays on; nothing is stored before exit
      if (muteAction_) muteAction_->setChecked(kept_.muted);
      break;
    case ID_INFORMATION:
      if (const QUrl guide = HelpUrl(); services_.openUrl && (guide.isEmpty() || !services_.openUrl(guide)))
        services_.prompts.ShowMessage(strings::GuideNotOpened(guide.toLocalFile().toStdString()), PromptIcon::None);
      break;
    case ID_OPEN_LOG:
      if (services_.openUrl && !services_.openUrl(QUrl::fromLocalFile(services_.logFile)))
        services_.prompts.ShowMessage(strings::LogNotOpened(services_.logFile.toStdString()), PromptIcon::None);
      break;
    case ID_ABOUT:
      if (services_.showAbout) {
        services_.showAbout();
      } else {
        AboutDlg about(this);
        about.exec();
      }
      break;
    default: break;
  }
}

void OstranaDlg::OnTimer() {
  if (!services_.watch.IsKelvraRunning()) reject();  // the CAM client has gone: end the run
}

void OstranaDlg::setVisible(bool visible) {
  if (visible && !opened_) {
    opened_ = true;
    OnInitDialog();
  }
  QDialog::setVisible(visible);
}

void OstranaDlg::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (placed_) return;
  placed_ = true;
  // A place off every screen (a small screen, a monitor unplugged) moves
  // just far enough to be seen.
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) screens.push_back(screen->availableGeometry());
  move(PlaceOnScreen(pos(), frameGeometry().size(), screens));
}

void OstranaDlg::closeEvent(QCloseEvent* event) {
  // The place is recorded only when the user closes the window.
  face::RecordAtClose(kept_, pos().x(), pos().y());
  QDialog::closeEvent(event);
}

}  // namespace ostrana::ui
