// The sounds the status window plays, as a seam: one implementation per
// platform (Qt Multimedia on Linux) and test doubles that record what was
// asked. Main thread only.
#pragma once

namespace ostrana::platform {

// Sound resources 140 to 146.
enum SoundId {
  kSoundStart = 140,
  kSoundExit = 141,
  kSoundClick = 142,
  kSoundNeither = 143,
  kSoundBoth = 144,
  kSoundMachineOnly = 145,
  kSoundClientOnly = 146
};

class SoundPlayer {
 public:
  virtual ~SoundPlayer() = default;
  // Starts a sound and returns at once; a new one cuts off one still playing.
  virtual void Play(int id) = 0;
  // Plays a sound to its end (the exit sound).
  virtual void PlayAndWait(int id) = 0;
};

}  // namespace ostrana::platform
