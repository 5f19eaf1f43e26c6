// The Windows implementations of the faces' platform seams: sounds from the
// program's WAVE resources (PlaySound), the watch on the CAM client's window
// (EnumWindows), and prompts as message boxes. Main thread only.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "common/Prompts.h"
#include "platform/Sounds.h"
#include "platform/WindowWatch.h"

namespace ostrana::win32 {

// Sounds 140 to 146 of this program's resources; failures are silent.
class ResourceSounds final : public platform::SoundPlayer {
 public:
  void Play(int id) override;
  void PlayAndWait(int id) override;
};

// Top-level windows without parent or owner whose title (at most 259
// characters read) contains "Quorvane Kelvra", case-sensitively.
class KelvraWatch final : public platform::WindowWatch {
 public:
  bool IsKelvraRunning() override;
};

// Message boxes with the program's name as caption. While the status window
// is open each box is owned by it: above every other program as the window
// is (a CAM client's request may raise one while that client has the
// foreground), and the window is disabled until the box closes. Without the
// window (the start's questions) a box is topmost and takes the foreground
// itself. They run a modal loop, so the client's socket events go on being
// served while one is open.
class BoxPrompts final : public Prompts {
 public:
  // What owns the next boxes: the status window's handle, or nullptr while
  // it does not exist; an empty function for none at all.
  void OwnedBy(std::function<HWND()> owner) { owner_ = std::move(owner); }
  void ShowMessage(const std::string& text, PromptIcon icon) override;
  bool AskYesNo(const std::string& text) override;

 private:
  int Show(const std::string& text, UINT style);

  std::function<HWND()> owner_;
};

}  // namespace ostrana::win32
