#include "machine/EventStores.h"

#include <utility>

#include "common/EventLog.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

namespace {
// An event nobody will fetch, written down whole: a measurement can always
// be recovered from the log. `fold`: how long its repeats are counted, not written.
void LogWhole(const char* category, const char* why, const std::string& what,
              std::chrono::milliseconds fold = EventLog::kFold) {
  std::string text = what;
  while (!text.empty() && text.back() == '\n') text.pop_back();
  Log(LogLevel::Info, category, std::string(why) + ", not kept: " + text, fold);
}
void Unattended(const std::string& what, std::chrono::milliseconds fold = EventLog::kFold) {
  LogWhole("unattended", "read while no client was attached", what, fold);
}
void Unfetched(const std::string& what) { LogWhole("unfetched", "waiting for a client as the run ended", what); }
}  // namespace

bool EventStores::PushAction(std::int32_t code) {
  if (!ClientAttached()) {
    Unattended(actionText_ ? actionText_(code) : "action " + std::to_string(code));
    return false;
  }
  MutexLock guard(actionLock_);
  actions_.push_back(code);
  return true;
}

bool EventStores::PushMeasure(const MeasureRecord& record) {
  if (!ClientAttached()) {
    Unattended(measureText_ ? measureText_(record) : "a measure record");
    return false;
  }
  MutexLock guard(measureLock_);
  measures_.push_back(record);
  return true;
}

bool EventStores::MeasureQueueFull() const {
  MutexLock guard(measureLock_);
  return measures_.size() >= measureLimit_;
}

bool EventStores::StoreAlarmValue(std::int32_t value) {
  if (!ClientAttached()) {
    // Read again on every pass while the alarm stands: written when it
    // changes, its repeats counted a minute at a time.
    Unattended("alarm value " + std::to_string(value), std::chrono::minutes(1));
    return false;
  }
  MutexLock guard(alarmLock_);
  alarmValue_ = value;
  return true;
}

void EventStores::SetMachineStatus(bool online) {
  {
    MutexLock guard(deviceLock_);
    device_.name = "Machine Tool";
    device_.online = online;
  }
  if (notifier_) notifier_->ConnectionStatusChanged(online);
}

std::optional<std::int32_t> EventStores::PopAction() {
  if (MeasureCount() != 0) return std::nullopt;
  MutexLock guard(actionLock_);
  if (actions_.empty()) return std::nullopt;
  const std::int32_t code = actions_.front();
  actions_.pop_front();
  return code;
}

std::optional<MeasureRecord> EventStores::PopMeasure() {
  MutexLock guard(measureLock_);
  if (measures_.empty()) return std::nullopt;
  MeasureRecord record = measures_.front();
  measures_.pop_front();
  return record;
}

std::int32_t EventStores::AlarmValue() const {
  MutexLock guard(alarmLock_);
  return alarmValue_;
}

DeviceStatus EventStores::ReadDeviceStatus() const {
  MutexLock guard(deviceLock_);
  return device_;
}

std::size_t EventStores::MeasureCount() const {
  MutexLock guard(measureLock_);
  return measures_.size();
}

void EventStores::LogWhatIsLeft() {
  // Measures first: a client would have had them before the actions.
  while (const auto record = PopMeasure()) Unfetched(measureText_ ? measureText_(*record) : "a measure record");
  while (const auto code = PopAction()) Unfetched(actionText_ ? actionText_(*code) : "action " + std::to_string(*code));
  std::int32_t alarm = 0;
  {
    MutexLock guard(alarmLock_);
    alarm = std::exchange(alarmValue_, 0);
  }
  if (alarm != 0) Unfetched("alarm value " + std::to_string(alarm));
}

std::size_t EventStores::ActionCount() const {
  MutexLock guard(actionLock_);
  return actions_.size();
}

}  // namespace ostrana::machine
