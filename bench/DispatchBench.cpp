// DispatchRequest per chunk, on real event stores with nothing behind the
// machine operations. Figures, not a test.
#include <benchmark/benchmark.h>

#include "protocol/Dispatcher.h"
#include "machine/EventStores.h"

using namespace ostrana;

namespace {

class StoreOperations final : public protocol::RequestOperations {
 public:
  bool ParseConnectionData(const protocol::Argument&) override { return false; }
  bool ApplyWcsData(const protocol::Argument&) override { return false; }
  bool Connect() override { return false; }
  void Disconnect() override {}
  bool StartPolling() override { return false; }
  void StopPolling() override {}
  bool ResumeMonitoring() override { return false; }
  bool HaltMonitoring() override { return false; }
  bool CheckMachineBuffer() override { return false; }
  bool SetAlarm(std::int32_t) override { return false; }
  void SetMachineStatus(bool online) override { stores.SetMachineStatus(online); }
  std::optional<std::int32_t> PopAction() override { return stores.PopAction(); }
  std::optional<mailbox::MeasureRecord> PopMeasure() override { return stores.PopMeasure(); }
  std::int32_t AlarmValue() override { return stores.AlarmValue(); }
  machine::DeviceStatus ReadDeviceStatus() override { return stores.ReadDeviceStatus(); }
  std::int32_t BaseRow() override { return 100; }
  void SetClientAttached(bool attached, const std::string&) override { stores.SetClientAttached(attached); }
  bool ClientAttached() const override { return stores.ClientAttached(); }
  machine::EventStores stores;
};

void Run(benchmark::State& state, const std::string& chunk, bool refill) {
  StoreOperations ops;
  ops.stores.SetClientAttached(true);
  mailbox::MeasureRecord record{1, 250, 12, 5, 3, 1.5, -0.01, 2, 7.5, 0, 0, 0, 0};
  for (auto _ : state) {
    if (refill) {
      state.PauseTiming();
      ops.stores.PushMeasure(record);
      state.ResumeTiming();
    }
    benchmark::DoNotOptimize(protocol::DispatchRequest(ops, chunk));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * chunk.size()));
}

}  // namespace

static void OneKeyword(benchmark::State& s) { Run(s, "Send Device\n", false); }
static void FullSendMeasure(benchmark::State& s) { Run(s, "Send Measure\n", true); }
static void SeveralKeywords(benchmark::State& s) {
  Run(s, "Send Action\nSend Measure\nSend Alarm\nSend Device\nLocate Machine Buffer\n", false);
}
static void NoKeyword255(benchmark::State& s) { Run(s, std::string(255, 'x'), false); }

BENCHMARK(OneKeyword);
BENCHMARK(FullSendMeasure);
BENCHMARK(SeveralKeywords);
BENCHMARK(NoKeyword255);
BENCHMARK_MAIN();
