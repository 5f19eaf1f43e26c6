// The About box: the program's icon, name, version and legal notice. Modal,
// main thread only.
#pragma once

#include <QDialog>

namespace ostrana::ui {

class AboutDlg final : public QDialog {
 public:
  explicit AboutDlg(QWidget* parent = nullptr);
};

}  // namespace ostrana::ui
