// The four stores that hold what the polling worker found until the client
// fetches it: the action queue, the measure queue, the alarm value and the
// device status, each under its own lock, plus the client flag.
//
// Threads: the Push*/Store*/SetMachineStatus side is called by the polling
// worker (and SetMachineStatus by the main thread too); the Pop*/read side by
// the main thread only. No operation holds two locks. The status refresh that
// SetMachineStatus starts never waits for the main thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "common/Mutex.h"
#include "mailbox/MeasureRecord.h"

namespace ostrana::machine {

using mailbox::MeasureRecord;

// While the measure queue holds this many records, the worker leaves further
// records in the machine's ring, where the NC program waits for room: memory
// stays bounded and nothing is dropped while a client is attached.
inline constexpr std::size_t kMeasureQueueLimit = 10000;

// Told when the device status changed, with the state it changed to: two
// changes before the main thread turns are each shown (and sounded) as
// themselves. Called on the worker thread or the main thread; must only
// post work to the main thread, never wait for it.
class StatusNotifier {
 public:
  virtual ~StatusNotifier() = default;
  virtual void ConnectionStatusChanged(bool machineOnline) = 0;
};

struct DeviceStatus {
  bool online = false;
  std::string name;
};

class EventStores {
 public:
  explicit EventStores(StatusNotifier* notifier = nullptr, std::size_t measureLimit = kMeasureQueueLimit)
      : notifier_(notifier), measureLimit_(measureLimit) {}

  // The client flag: true while a client is attached. Written by the main
  // thread, read by both.
  void SetClientAttached(bool attached) { clientAttached_.store(attached); }
  bool ClientAttached() const { return clientAttached_.load(); }

  // How an event is answered to the client ("Measure Data: ..."): what the
  // log says of one read while no client is attached. Set before a worker runs.
  void DescribeWith(std::function<std::string(const MeasureRecord&)> measure,
                    std::function<std::string(std::int32_t)> action) {
    measureText_ = std::move(measure);
    actionText_ = std::move(action);
  }

  // Worker side. Events are kept only while a client is attached; one read
  // while none is goes whole into the log, and the call answers false.
  bool PushAction(std::int32_t code);
  bool PushMeasure(const MeasureRecord& record);
  bool StoreAlarmValue(std::int32_t value);
  bool MeasureQueueFull() const;
  // Sets "Machine Tool" and the reachability, then asks for a status refresh.
  void SetMachineStatus(bool online);

  // Main-thread side.
  // Nothing while a measure waits: measures reach the client before actions.
  std::optional<std::int32_t> PopAction();
  std::optional<MeasureRecord> PopMeasure();
  std::int32_t AlarmValue() const;
  DeviceStatus ReadDeviceStatus() const;
  std::size_t MeasureCount() const;
  std::size_t ActionCount() const;
  // At the end of a run, once no worker runs: every record and action still
  // waiting for a client, and an alarm value, go whole into the log, as the
  // unattended ones do; the stores are left empty.
  void LogWhatIsLeft();

 private:
  std::atomic<bool> clientAttached_{false};
  StatusNotifier* const notifier_;                                // fixed for the stores' life: the worker reads it
  std::function<std::string(const MeasureRecord&)> measureText_;  // fixed before a worker runs
  std::function<std::string(std::int32_t)> actionText_;
  const std::size_t measureLimit_;
  mutable Mutex actionLock_;
  std::deque<std::int32_t> actions_ GUARDED_BY(actionLock_);
  mutable Mutex measureLock_;
  std::deque<MeasureRecord> measures_ GUARDED_BY(measureLock_);
  mutable Mutex alarmLock_;
  std::int32_t alarmValue_ GUARDED_BY(alarmLock_) = 0;
  mutable Mutex deviceLock_;
  DeviceStatus device_ GUARDED_BY(deviceLock_);
};

}  // namespace ostrana::machine
