// The one way the program shows a message or asks a question. The window
// shows modal message boxes; the headless runner writes a line to stderr;
// tests record every text. Called on the main thread only.
#pragma once

#include <string>

#include "common/Console.h"

namespace ostrana {

enum class PromptIcon { None, Exclamation };

class Prompts {
 public:
  virtual ~Prompts() = default;
  // An OK box with the program's name as caption. Returns when the user closed it.
  virtual void ShowMessage(const std::string& text, PromptIcon icon) = 0;
  // A Yes/No box; true for Yes.
  virtual bool AskYesNo(const std::string& text) = 0;
  // A detail for the operator that needs no box (the folder and the system's
  // reason behind a failure already shown): a line on stderr (never waited for).
  virtual void Note(const std::string& text);
};

inline void Prompts::Note(const std::string& text) { console::Err("ostrana: " + text); }

}  // namespace ostrana
