#include "common/RepeatFold.h"

#include <algorithm>

namespace ostrana {

bool RepeatFold::Pass(const std::string& key, Time now, std::chrono::milliseconds window, Folded& before) {
  before = {};
  Forget(now);
  const auto found = entries_.find(key);
  if (found == entries_.end()) {
    if (entries_.size() < kRemembered) entries_.emplace(key, Entry{now, window, {}});
    return true;
  }
  Entry& entry = found->second;
  // A clock set back ends the window: a line too many rather than one missing.
  if (now >= entry.written && now - entry.written < entry.window) {
    if (entry.folded.count++ == 0) {
      entry.folded.first = now;
      nextDue_ = std::min(nextDue_.value_or(Time::max()), now + kCountWait);
    }
    entry.folded.last = now;
    return false;
  }
  before = entry.folded;
  entry = Entry{now, window, {}};
  return true;
}

std::vector<RepeatFold::Due> RepeatFold::TakeDue(Time now, bool all) {
  std::vector<Due> due;
  // (A clock set back by more than the wait makes every count due.)
  if (!nextDue_ || (!all && now < *nextDue_ && *nextDue_ - now <= kCountWait)) return due;
  nextDue_.reset();
  for (auto& [key, entry] : entries_) {
    if (entry.folded.count == 0) continue;
    const Time at = entry.folded.first + kCountWait;
    if (all || now >= at || now < entry.folded.first) {
      due.push_back({key, entry.folded});
      // The count line stands for the line: its repeats are counted anew from here.
      entry = Entry{now, entry.window, {}};
    } else {
      nextDue_ = std::min(nextDue_.value_or(Time::max()), at);
    }
  }
  return due;
}

void RepeatFold::Forget(Time now) {
  // Once a second at most: the lines of the last second are all there is to look at.
  if (now >= forgotten_ && now - forgotten_ < std::chrono::seconds(1)) return;
  forgotten_ = now;
  std::erase_if(entries_, [&](const auto& item) {
    const Entry& entry = item.second;
    return entry.folded.count == 0 && (now < entry.written || now - entry.written >= entry.window);
  });
}

}  // namespace ostrana
