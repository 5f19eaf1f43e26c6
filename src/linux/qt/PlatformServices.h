// The Linux implementations of the window's platform seams. Main thread only.
#pragma once

#include <memory>

#include "platform/Sounds.h"
#include "platform/WindowWatch.h"

namespace ostrana::qt {

// QSoundEffect from the program's resources. Failures (no audio device) are silent.
std::unique_ptr<platform::SoundPlayer> MakeSoundPlayer();
// X11 through xcb where the display is X11; elsewhere a watch that never sees the client.
std::unique_ptr<platform::WindowWatch> MakeWindowWatch();
// Whether the X display named by DISPLAY can be opened now.
bool CanOpenX11Display();

}  // namespace ostrana::qt
