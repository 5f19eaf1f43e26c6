// The watch on the CAM client's window, as a seam: one implementation per
// platform (X11 on Linux) and test doubles. Main thread only.
#pragma once

namespace ostrana::platform {

class WindowWatch {
 public:
  virtual ~WindowWatch() = default;
  // Whether a top-level window whose title contains "Quorvane Kelvra" exists.
  virtual bool IsKelvraRunning() = 0;
};

}  // namespace ostrana::platform
