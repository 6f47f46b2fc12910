// What the receive thread does with each kind of packet, and the progress callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/tests/upgrader_probe.h"
#include "tool/receive_thread.h"
#include "tool/upgrade_outcome.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class PacketDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.005);  // an erase gives up after 3 x 10 ms
    static int token;
    upgrader.GivePen(&token);  // no pen behind it: requests go nowhere
  }
  void TearDown() override { afx::SetTimeScale(1.0); }

  static Bytes Packet(std::uint16_t type, Bytes payload) {
    Bytes packet = {0xDB, 0xDB, 0xDB, 0xDB, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(type >> 8)};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
  }
  // `length` may say less than the packet holds, as a transfer cut short would.
  void Dispatch(const Bytes& packet, std::size_t length = SIZE_MAX) {
    DispatchPacket(upgrader, packet.data(), static_cast<std::uint32_t>(std::min(length, packet.size())));
  }

  // Erases the boot-control sector while the receive thread keeps dispatching
  // `packets`; the erase's failure text, or "" when it took an answer that passed.
  std::string EraseWhileDispatching(const std::vector<std::pair<Bytes, std::size_t>>& packets) {
    auto erase = std::async(std::launch::async, [this]() -> std::string {
      try {
        upgrader.EraseFlashSector(0x7000);
      } catch (const UpgradeToolException& failure) {
        return failure.Message();
      }
      return "";
    });
    while (erase.wait_for(std::chrono::microseconds(200)) != std::future_status::ready) {
      for (const auto& [packet, length] : packets) Dispatch(packet, length);
    }
    return erase.get();
  }

  FirmwareUpgrader upgrader;
};

// The answer to erasing the sector at 0x7000, as the pen sends it.
const Bytes kEraseAnswer = {0xFA, 0x00, 0x00, 0xFE, 0x00, 0x70, 0x00, 0x00, 0x00, 0x10};

TEST_F(PacketDispatchTest, TextUnknownAndShortPacketsAreNoAnswer) {
  const std::vector<std::pair<Bytes, std::size_t>> packets = {
      {Packet(0x0000, kEraseAnswer), SIZE_MAX},
      {Packet(0x8002, kEraseAnswer), SIZE_MAX},
      {Packet(0x0180, kEraseAnswer), SIZE_MAX},  // the response type with its bytes swapped
      {Packet(0x5000, {}), SIZE_MAX},
      {Packet(0x5001, {}), 5},  // a header cut short, whatever it would have said
  };
  EXPECT_EQ(EraseWhileDispatching(packets), "No response to flash erase command");
  EXPECT_FALSE(UpgraderProbe::InDfuMode(upgrader));
}

TEST(ReportProgressTest, StoresThousandthsTruncatedAndClampedToTheBar) {
  const struct {
    std::int32_t done, total, permille;
  } cases[] = {{0, 1000, 0},      {500, 1000, 500}, {1, 1, 1000},   {999, 1000, 999},
               {2, 3, 666},       {1500, 1000, 1000}, {1001, 1000, 1000}, {-5, 1000, 0},
               {986'732, 986'732, 1000}, {493'366, 986'732, 500}};
  SharedOutcome outcome;
  for (const auto& c : cases) {
    outcome.ReportProgress(c.done, c.total);
    EXPECT_EQ(outcome.Read().permille, c.permille) << c.done << "/" << c.total;
  }
  outcome.ReportProgress(5, 0);  // no total: the bar stays where it is
  EXPECT_EQ(outcome.Read().permille, 500);
}

}  // namespace
