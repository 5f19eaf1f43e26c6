// Test doubles of the faces' platform seams: sounds recorded by id, a CAM
// client whose window comes and goes as the test says.
#pragma once

#include <vector>

#include "platform/Sounds.h"
#include "platform/WindowWatch.h"

namespace ostrana::test {

class RecordingSounds final : public platform::SoundPlayer {
 public:
  void Play(int id) override { played.push_back(id); }
  void PlayAndWait(int id) override { played.push_back(id); }
  std::vector<int> played;
};

class FakeWatch final : public platform::WindowWatch {
 public:
  bool IsKelvraRunning() override { return running; }
  bool running = false;
};

}  // namespace ostrana::test
