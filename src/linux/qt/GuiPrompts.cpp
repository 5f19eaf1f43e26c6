#include "qt/GuiPrompts.h"

#include <QMessageBox>

#include "common/StringTable.h"

namespace ostrana::qt {

void GuiPrompts::ShowMessage(const std::string& text, PromptIcon icon) {
  QMessageBox box(icon == PromptIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon,
                  QString::fromUtf8(strings::kAppName), QString::fromLocal8Bit(text.c_str()), QMessageBox::Ok, parent_);
  box.exec();
}

bool GuiPrompts::AskYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, QString::fromUtf8(strings::kAppName), QString::fromLocal8Bit(text.c_str()),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace ostrana::qt
