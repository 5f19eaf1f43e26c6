// Prompts as modal message boxes with the program's name as caption. They
// run a nested event loop, so socket events go on being served while one is
// open. Main thread only.
#pragma once

#include <QPointer>
#include <QWidget>

#include "common/Prompts.h"

namespace ostrana::qt {

class GuiPrompts final : public Prompts {
 public:
  void SetParent(QWidget* parent) { parent_ = parent; }
  void ShowMessage(const std::string& text, PromptIcon icon) override;
  bool AskYesNo(const std::string& text) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace ostrana::qt
