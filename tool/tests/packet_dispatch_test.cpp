// What the receive thread does with each kind of packet, and the progress callback.
#include <gtest/gtest.h>

#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/upgrade_callbacks.h"
#include "tool/receive_thread.h"
#include "tool/tool_state.h"

namespace {

class PacketDispatchTest : public ::testing::Test {
 protected:
  void SetUp() override { activeUpgrader = &upgrader; }
  void TearDown() override { activeUpgrader = nullptr; }

  static std::vector<std::uint8_t> Packet(std::uint16_t type, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> packet = {0, 0, 0, 0, static_cast<std::uint8_t>(type), static_cast<std::uint8_t>(type >> 8)};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
  }
  void Dispatch(const std::vector<std::uint8_t>& packet) {
    DispatchPacket(packet.data(), static_cast<std::uint32_t>(packet.size()));
  }

  FirmwareUpgrader upgrader;
};

TEST_F(PacketDispatchTest, AFlashResponseIsDeliveredWithoutItsHeader) {
  Dispatch(Packet(0x8001, {0, 0, 0x00, 0xF0}));
  EXPECT_TRUE(upgrader.responseSignal.Lock(0));
  EXPECT_FALSE(upgrader.dfuModeSignal.Lock(0));
}

TEST_F(PacketDispatchTest, ADfuAnnouncementSetsItsSignal) {
  Dispatch(Packet(0x5001, {}));
  EXPECT_TRUE(upgrader.dfuModeSignal.Lock(0));
  EXPECT_FALSE(upgrader.responseSignal.Lock(0));
}

TEST_F(PacketDispatchTest, TextUnknownAndShortPacketsChangeNothing) {
  Dispatch(Packet(0x0000, {'h', 'i', 0}));
  Dispatch(Packet(0x8002, {1, 2, 3}));
  Dispatch(Packet(0x1234, {}));
  Dispatch({0, 0, 0, 0, 0x01});  // a header cut short, whatever it would have said
  EXPECT_FALSE(upgrader.responseSignal.Lock(0));
  EXPECT_FALSE(upgrader.dfuModeSignal.Lock(0));
  EXPECT_FALSE(upgradeFailed);
}

TEST(ReportProgressTest, StoresThousandthsClampedToTheBar) {
  const struct {
    std::int32_t done, total, permille;
  } cases[] = {{0, 1000, 0}, {500, 1000, 500}, {1, 1, 1000}, {999, 1000, 999}, {1500, 1000, 1000},
               {-5, 1000, 0}, {986'732, 986'732, 1000}, {493'366, 986'732, 500}};
  for (const auto& c : cases) {
    ReportProgress(c.done, c.total);
    EXPECT_EQ(progressPermille, c.permille) << c.done << "/" << c.total;
  }
}

}  // namespace
