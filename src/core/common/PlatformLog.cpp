#include "common/PlatformLog.h"

#include <utility>

namespace ostrana {

bool PlatformLog::Report(const PlatformEntry& entry) {
  if (!sink_ || entry.event.id == EventId::None) return false;
  std::string why;
  if (sink_->Report(entry, why)) {
    ++reported_;
    return true;
  }
  ++refused_;
  // One line in the file log for the whole run, whatever the service does next:
  // a service that refuses every event must not double the file.
  if (!said_) {
    said_ = true;
    notice_ = sink_->Name() + " refused an event (" + (why.empty() ? "no reason given" : why) +
              "): its events are counted and kept in this file only";
  }
  return false;
}

std::string PlatformLog::TakeNotice() { return std::exchange(notice_, std::string()); }

}  // namespace ostrana
