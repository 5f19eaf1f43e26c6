#include "ui/AboutDlg.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>

#include "common/StringTable.h"
#include "ui/DialogUnits.h"

namespace ostrana::ui {

AboutDlg::AboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About"));
  const DialogUnits du(font());
  setFixedSize(du.X(240), du.Y(84));

  auto* icon = new QLabel(this);
  icon->setGeometry(du.Rect(14, 14, 21, 20));
  icon->setPixmap(QIcon(QStringLiteral(":/icons/128.svg")).pixmap(icon->size()));

  const struct {
    int id, x, y, w;
    const char* text;
  } lines[] = {{1004, 42, 12, 154, strings::kAppName},
               {1005, 42, 24, 154, strings::kVersion},
               {1006, 27, 42, 184, strings::kLegal1},
               {1007, 42, 52, 154, strings::kLegal2}};
  for (const auto& line : lines) {
    auto* label = new QLabel(QString::fromUtf8(line.text), this);
    label->setObjectName(QStringLiteral("IDC_%1").arg(line.id));
    label->setTextFormat(Qt::PlainText);  // no prefix processing
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(du.X(line.x), du.Y(line.y), du.X(line.w), du.Y(10));
  }
  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ok->setGeometry(du.Rect(183, 63, 50, 14));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace ostrana::ui
