// A whole upgrade of a virtual pen through the virtual channel and the shared
// device-watch harness.
//   UpgradeZeroTiming       exchanges per second with a pen that answers at once
//                           (goal: at least 20,000/s)
//   UpgradeRealisticTiming  wall time over the timing model's own sum for the same
//                           traffic: 1 ms per exchange, 25 ms per sector erased,
//                           2 ms per KiB programmed (goal: at most 1.02)
// Only Upgrade() is timed; making the bus, the pen and the harness is not, and
// the timed runs are not recorded.
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <sstream>
#include <string>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/testing/device_watch_harness.h"
#include "virtualpen/virtual_bus.h"

namespace {

struct Traffic {
  double exchanges = 0;
  double modelMs = 0;  // what the pen's timing model alone accounts for
};

// Sums the model's time over the requests of a traffic record (JSON Lines).
Traffic SumTraffic(const std::string& record, const virtualpen::PenTiming& timing) {
  Traffic traffic;
  std::istringstream lines(record);
  std::string line;
  const std::string hexKey = "\"hex\":\"";
  while (std::getline(lines, line)) {
    if (line.find("\"dir\":\"to_pen\"") == std::string::npos) continue;
    const auto at = line.find(hexKey);
    if (at == std::string::npos) continue;
    const std::string hex = line.substr(at + hexKey.size(), 16);
    if (hex.size() < 16 || hex.compare(0, 2, "fa") != 0) continue;  // restart byte: not an exchange
    const auto command = std::stoul(hex.substr(2, 2), nullptr, 16);
    const auto size = std::stoul(hex.substr(14, 2) + hex.substr(12, 2), nullptr, 16);
    traffic.exchanges += 1;
    traffic.modelMs += timing.latencyMs;
    if (command == FA_CMD_FLASH_ERASE) traffic.modelMs += timing.eraseMsPerSector;
    if (command == FA_CMD_FLASH_WRITE) {
      traffic.modelMs += static_cast<double>((timing.programMsPerKiB * size + 1023) / 1024);  // as the pen rounds
    }
  }
  return traffic;
}

// One upgrade of a fresh older pen; with `record`, the bus traffic is written to it.
// Returns the upgrade's wall time in seconds, or a negative value on failure.
double UpgradeOnce(const virtualpen::PenTiming& timing, std::string* record, std::string* failure) {
  virtualpen::VirtualBus::ResetInstance();
  auto bus = virtualpen::VirtualBus::Instance();
  virtualpen::PenOptions options;
  options.timing = timing;
  options.restartDelayMs = 0;  // restarts are the pen's business, not the exchange's
  auto pen = bus->PlugNewPen(options);
  auto recorded = std::make_shared<std::ostringstream>();
  if (record != nullptr) bus->StartRecord(recorded);
  FirmwareUpgrader upgrader;
  DeviceWatchHarness harness(upgrader);

  const auto start = std::chrono::steady_clock::now();
  try {
    upgrader.Upgrade();
  } catch (const UpgradeToolException& error) {
    *failure = error.Message();
    return -1;
  }
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  bus->StopRecord();
  if (record != nullptr) *record = recorded->str();
  return elapsed.count();
}

void RunUpgrades(benchmark::State& state, const virtualpen::PenTiming& timing) {
  afx::SetTimeScale(1.0);
  std::string failure;
  // The traffic is the same for every run: take it from one recorded run, so
  // that the timed runs carry no recording cost.
  std::string record;
  if (UpgradeOnce({}, &record, &failure) < 0) {
    state.SkipWithError(failure.c_str());
    return;
  }
  const Traffic traffic = SumTraffic(record, timing);

  double seconds = 0;
  for (auto _ : state) {
    const double elapsed = UpgradeOnce(timing, nullptr, &failure);
    if (elapsed < 0) {
      state.SkipWithError(failure.c_str());
      break;
    }
    state.SetIterationTime(elapsed);
    seconds += elapsed;
  }
  virtualpen::VirtualBus::ResetInstance();
  const double runs = static_cast<double>(state.iterations());
  state.counters["exchanges"] = traffic.exchanges;
  state.counters["exchanges_per_s"] = traffic.exchanges * runs / seconds;
  if (traffic.modelMs > 0) state.counters["wall_over_model"] = seconds * 1000.0 / (traffic.modelMs * runs);
}

void UpgradeZeroTiming(benchmark::State& state) { RunUpgrades(state, {}); }

void UpgradeRealisticTiming(benchmark::State& state) {
  virtualpen::PenTiming timing;
  timing.latencyMs = 1;
  timing.eraseMsPerSector = 25;
  timing.programMsPerKiB = 2;
  RunUpgrades(state, timing);
}

BENCHMARK(UpgradeZeroTiming)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(UpgradeRealisticTiming)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
