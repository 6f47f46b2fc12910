// Peak resident memory of a process that upgrades one virtual pen (zero timing):
// the engine with its image copies, the harness, the virtual bus and pen, and the
// runtime. Prints ru_maxrss; exit code 1 when the upgrade fails.
#include <sys/resource.h>

#include <cstdio>

#include "engine/firmware_upgrader.h"
#include "engine/testing/device_watch_harness.h"
#include "virtualpen/virtual_bus.h"

int main() {
  virtualpen::PenOptions options;
  options.restartDelayMs = 0;
  auto pen = virtualpen::VirtualBus::Instance()->PlugNewPen(options);
  int result = 0;
  {
    FirmwareUpgrader upgrader;
    DeviceWatchHarness harness(upgrader);
    try {
      upgrader.Upgrade();
    } catch (const UpgradeToolException& failure) {
      std::printf("upgrade failed: %s\n", failure.Message().c_str());
      result = 1;
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory: %ld KiB (%.2f MiB)\n", usage.ru_maxrss,
              static_cast<double>(usage.ru_maxrss) / 1024.0);
  return result;
}
