// A whole upgrade of a virtual pen through the virtual channel and the shared
// device-watch harness.
//   UpgradeZeroTiming       exchanges per second with a pen that answers at once
//                           (goal: at least 20,000/s)
//   UpgradeRealisticTiming  wall time over the timing model's own sum for the same
//                           traffic: 1 ms per exchange, 25 ms per sector erased,
//                           2 ms per KiB programmed (goal: at most 1.02)
// Only Upgrade() is timed; making the bus, the pen and the harness is not.
#include <benchmark/benchmark.h>
#include <sys/prctl.h>

#include <chrono>
#include <memory>
#include <string>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/testing/device_watch_harness.h"
#include "virtualpen/virtual_bus.h"

namespace {

struct Run {
  double seconds = -1;      // wall time of Upgrade(); negative on failure
  double exchanges = 0;     // flash-access requests the pen received
  double modelMs = 0;       // what the pen's timing model charged for them
};

// One upgrade of a fresh older pen.
Run UpgradeOnce(const virtualpen::PenTiming& timing, std::string* failure) {
  virtualpen::VirtualBus::ResetInstance();
  auto bus = virtualpen::VirtualBus::Instance();
  virtualpen::PenOptions options;
  options.timing = timing;
  options.restartDelayMs = 0;  // restarts are the pen's business, not the exchange's
  auto pen = bus->PlugNewPen(options);
  FirmwareUpgrader upgrader;
  DeviceWatchHarness harness(upgrader);

  Run run;
  const auto start = std::chrono::steady_clock::now();
  try {
    upgrader.Upgrade();
  } catch (const UpgradeToolException& error) {
    *failure = error.Message();
    return run;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  run.seconds = elapsed.count();
  run.exchanges = pen->RequestCount();
  run.modelMs = static_cast<double>(pen->ModelMilliseconds());
  return run;
}

void RunUpgrades(benchmark::State& state, const virtualpen::PenTiming& timing) {
  afx::SetTimeScale(1.0);
  std::string failure;
  Run total;
  total.seconds = 0;
  for (auto _ : state) {
    const Run run = UpgradeOnce(timing, &failure);
    if (run.seconds < 0) {
      state.SkipWithError(failure.c_str());
      break;
    }
    state.SetIterationTime(run.seconds);
    total.seconds += run.seconds;
    total.exchanges += run.exchanges;
    total.modelMs += run.modelMs;
  }
  virtualpen::VirtualBus::ResetInstance();
  const double runs = static_cast<double>(state.iterations());
  state.counters["exchanges"] = total.exchanges / runs;
  state.counters["exchanges_per_s"] = total.exchanges / total.seconds;
  if (total.modelMs > 0) state.counters["wall_over_model"] = total.seconds * 1000.0 / total.modelMs;
}

void UpgradeZeroTiming(benchmark::State& state) { RunUpgrades(state, {}); }

void UpgradeRealisticTiming(benchmark::State& state) {
  RunUpgrades(state, virtualpen::kRealisticTiming);
}

BENCHMARK(UpgradeZeroTiming)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(UpgradeRealisticTiming)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

// The pen model waits a millisecond or more per exchange; with the kernel's
// default timer slack (50 us) each of those waits ends late, and that lateness
// is the model's, not the upgrade's. Threads made later inherit the setting.
int main(int argc, char** argv) {
  prctl(PR_SET_TIMERSLACK, 1UL);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
