// Upgrades a virtual pen running older firmware to the embedded firmware, through
// the real engine, the virtual channel and the device-watch harness, and shows
// what the tool's dialog would: progress in percent and the outcome.
//
//   upgrade_virtual_pen [--record FILE] [--timing zero|realistic]
//
// --record FILE   writes the bus traffic (JSON Lines) to FILE
// --timing        zero (default): the pen answers at once;
//                 realistic: 1 ms per exchange, 25 ms per sector erased, 2 ms per KiB programmed
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "engine/firmware_upgrader.h"
#include "engine/testing/device_watch_harness.h"
#include "firmware/embedded_images.h"
#include "virtualpen/virtual_bus.h"

namespace {

const char* ModeName(virtualpen::PenMode mode) {
  switch (mode) {
    case virtualpen::PenMode::Off: return "off the bus";
    case virtualpen::PenMode::MainFirmware: return "main firmware";
    case virtualpen::PenMode::DfuMode: return "DFU mode";
  }
  return "?";
}

void PrintPen(const char* when, const virtualpen::VirtualPen& pen) {
  const auto descriptor = pen.Descriptor();
  const auto header = pen.ReadFlash(0x28000, 36);
  const auto bootWord = pen.ReadFlash(0x7000, 4);
  const bool dfuCurrent = pen.ReadFlash(0x8000, EmbeddedDfuImageSize) ==
                          std::vector<std::uint8_t>(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize);
  std::printf("%s: pen %s, %s, bcdDevice 0x%04x\n", when, pen.Serial().c_str(), ModeName(pen.Mode()),
              descriptor[12] | descriptor[13] << 8);
  if (header[32] == 'F' && header[33] == 'W') {
    std::printf("  main image in flash: %d.%02x\n", header[35], header[34]);
  } else {
    std::printf("  main image in flash: none\n");
  }
  std::printf("  DFU image in flash: %s\n", dfuCurrent ? "same as the tool's" : "differs from the tool's");
  std::printf("  boot-control word: %02x %02x %02x %02x\n", bootWord[0], bootWord[1], bootWord[2], bootWord[3]);
}

int Usage() {
  std::fprintf(stderr, "usage: upgrade_virtual_pen [--record FILE] [--timing zero|realistic]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string recordPath;
  bool realistic = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--record") == 0 && i + 1 < argc) {
      recordPath = argv[++i];
    } else if (std::strcmp(argv[i], "--timing") == 0 && i + 1 < argc) {
      const std::string timing = argv[++i];
      if (timing != "zero" && timing != "realistic") return Usage();
      realistic = timing == "realistic";
    } else {
      return Usage();
    }
  }

  auto bus = virtualpen::VirtualBus::Instance();
  if (!recordPath.empty() && !bus->StartRecord(recordPath)) {
    std::fprintf(stderr, "cannot write the record to %s\n", recordPath.c_str());
    return 2;
  }
  virtualpen::PenOptions options;  // main firmware 3.10, an older DFU image
  if (realistic) options.timing = {1, 25, 2};
  auto pen = bus->PlugNewPen(options);
  PrintPen("Before", *pen);

  FirmwareUpgrader upgrader;
  std::printf("Tool firmware version: %s\n", upgrader.version);
  DeviceWatchHarness watch(upgrader);
  if (!watch.IsOpen()) {
    std::printf("No supported pen found\n");
    return 1;
  }

  // The upgrade thread, and the dialog's 100 ms timer on this one.
  std::atomic<bool> finished{false};
  std::string failure;
  const auto start = std::chrono::steady_clock::now();
  std::thread upgradeThread([&] {
    try {
      upgrader.Upgrade();
    } catch (const UpgradeToolException& error) {
      failure = error.Message();
    }
    finished = true;
  });
  int shown = -1;
  while (!finished) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const int percent = watch.ProgressPermille() / 10;
    if (percent != shown) {
      std::printf("Progress: %d%%\n", percent);
      std::fflush(stdout);
      shown = percent;
    }
  }
  upgradeThread.join();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;

  if (watch.ProgressPermille() / 10 != shown) std::printf("Progress: %d%%\n", watch.ProgressPermille() / 10);
  if (failure.empty()) {
    std::printf("Update complete (%.1f s)\n", elapsed.count());
  } else {
    std::printf("Upgrade failed: %s (%.1f s)\n", failure.c_str(), elapsed.count());
  }
  bus->WaitUntilIdle();
  PrintPen("After", *pen);
  bus->StopRecord();
  return failure.empty() ? 0 : 1;
}
