// Lines that come again, counted instead of written: the same line (its
// level, subject and text) within its window of the last one written (a
// second, or longer for a value that repeats on every pass) is not written
// but counted. The count goes with the next one written after the window,
// or, when none comes within a minute of the first one counted, on a line
// of its own. So a line that comes on every pass fills the log at most once
// a window, and no repeat goes uncounted.
//
// Threads: none of its own; the event log calls it under its lock.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace ostrana {

class RepeatFold {
 public:
  using Time = std::chrono::system_clock::time_point;
  // A count waits at most this long for the next line to go with.
  static constexpr std::chrono::seconds kCountWait{60};
  // Lines remembered at most; a line beyond them is written as it comes.
  static constexpr std::size_t kRemembered = 4096;

  // The repeats of a line that were counted and not written.
  struct Folded {
    std::size_t count = 0;
    Time first, last;
  };
  struct Due {
    std::string key;
    Folded folded;
  };

  // Whether the line `key` is written at `now`; when it is, `before` holds
  // the repeats counted since the last one written (count 0 when none).
  bool Pass(const std::string& key, Time now, std::chrono::milliseconds window, Folded& before);
  // The counts that waited their minute (every count with `all`), taken out.
  std::vector<Due> TakeDue(Time now, bool all);
  // When the next count falls due; none while no count waits.
  std::optional<Time> NextDue() const { return nextDue_; }

 private:
  struct Entry {
    Time written;
    std::chrono::milliseconds window;
    Folded folded;
  };
  void Forget(Time now);  // lines whose window has passed with nothing counted

  std::unordered_map<std::string, Entry> entries_;
  std::optional<Time> nextDue_;
  Time forgotten_{};
};

}  // namespace ostrana
