// The platform seams of the status window: sounds and the watch on the CAM
// client's window. One real implementation each (Qt Multimedia, X11) and
// test doubles. Main thread only.
#pragma once

#include <memory>

namespace ostrana::ui {

// Sound resources 140 to 146.
enum SoundId { kSoundStart = 140, kSoundExit = 141, kSoundClick = 142, kSoundNeither = 143,
               kSoundBoth = 144, kSoundMachineOnly = 145, kSoundClientOnly = 146 };

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts a sound and returns at once; a new one cuts off one still playing.
  virtual void Play(int id) = 0;
  // Plays a sound to its end (the exit sound).
  virtual void PlayAndWait(int id) = 0;
};

class WindowWatch {
 public:
  virtual ~WindowWatch() = default;
  // Whether a top-level window whose title contains "Quorvane Kelvra" exists.
  virtual bool IsKelvraRunning() = 0;
};

// QSoundEffect from the program's resources. Failures (no audio device) are silent.
std::unique_ptr<SoundPlayer> MakeSoundPlayer();
// X11 through xcb where the display is X11; elsewhere a watch that never sees the client.
std::unique_ptr<WindowWatch> MakeWindowWatch();
// Whether the X display named by DISPLAY can be opened now.
bool CanOpenX11Display();

}  // namespace ostrana::ui
