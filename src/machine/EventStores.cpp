#include "machine/EventStores.h"

namespace ostrana::machine {

using namespace mailbox;  // the exchange table's rows and readings

void EventStores::PushAction(std::int32_t code) {
  if (!ClientAttached()) return;
  MutexLock guard(actionLock_);
  actions_.push_back(code);
}

void EventStores::PushMeasure(const MeasureRecord& record) {
  if (!ClientAttached()) return;
  MutexLock guard(measureLock_);
  measures_.push_back(record);
}

bool EventStores::MeasureQueueFull() const {
  MutexLock guard(measureLock_);
  return measures_.size() >= measureLimit_;
}

void EventStores::StoreAlarmValue(std::int32_t value) {
  if (!ClientAttached()) return;
  MutexLock guard(alarmLock_);
  alarmValue_ = value;
}

void EventStores::SetMachineStatus(bool online) {
  {
    MutexLock guard(deviceLock_);
    device_.name = "Machine Tool";
    device_.online = online;
  }
  if (notifier_) notifier_->ConnectionStatusChanged();
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

std::size_t EventStores::ActionCount() const {
  MutexLock guard(actionLock_);
  return actions_.size();
}

}  // namespace ostrana::machine
