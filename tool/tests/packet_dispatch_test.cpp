// What the receive thread does with each kind of packet, and the progress callback.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/firmware_upgrader.h"
#include "engine/upgrade_callbacks.h"
#include "tool/receive_thread.h"
#include "tool/tool_state.h"

namespace {

// Lets the test judge the delivered response as a command would.
class ProbedUpgrader : public FirmwareUpgrader {
 public:
  using FirmwareUpgrader::CheckResponse;
};

class PacketDispatchTest : public ::testing::Test {
 protected:
  static std::vector<std::uint8_t> Packet(std::uint16_t type, std::vector<std::uint8_t> payload) {
    std::vector<std::uint8_t> packet = {0xDB, 0xDB, 0xDB, 0xDB, static_cast<std::uint8_t>(type),
                                        static_cast<std::uint8_t>(type >> 8)};
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
  }
  // `length` may say less than the packet holds, as a transfer cut short would.
  void Dispatch(const std::vector<std::uint8_t>& packet, std::size_t length = SIZE_MAX) {
    DispatchPacket(upgrader, packet.data(), static_cast<std::uint32_t>(std::min(length, packet.size())));
  }

  ProbedUpgrader upgrader;
};

TEST_F(PacketDispatchTest, AFlashResponseIsDeliveredWithoutItsHeader) {
  // The answer to erasing the sector at 0x7000.
  Dispatch(Packet(0x8001, {0xFA, 0x00, 0x00, 0xFE, 0x00, 0x70, 0x00, 0x00, 0x00, 0x10}));
  EXPECT_TRUE(upgrader.responseSignal.Lock(0));
  EXPECT_FALSE(upgrader.dfuModeSignal.Lock(0));
  EXPECT_NO_THROW(upgrader.CheckResponse(0xFE, 0x7000, 0x1000));
}

TEST_F(PacketDispatchTest, ADfuAnnouncementSetsItsSignal) {
  Dispatch(Packet(0x5001, {}));
  EXPECT_TRUE(upgrader.dfuModeSignal.Lock(0));
  EXPECT_FALSE(upgrader.responseSignal.Lock(0));
}

TEST_F(PacketDispatchTest, TextUnknownAndShortPacketsChangeNothing) {
  Dispatch(Packet(0x0000, {'h', 'i', 0}));
  Dispatch(Packet(0x8002, {1, 2, 3}));
  Dispatch(Packet(0x5000, {}));
  Dispatch(Packet(0x0180, {}));  // the response type with its bytes swapped
  Dispatch(Packet(0x5001, {}), 5);  // a header cut short, whatever it would have said
  EXPECT_FALSE(upgrader.responseSignal.Lock(0));
  EXPECT_FALSE(upgrader.dfuModeSignal.Lock(0));
  EXPECT_FALSE(upgradeFailed);
}

TEST(ReportProgressTest, StoresThousandthsTruncatedAndClampedToTheBar) {
  const struct {
    std::int32_t done, total, permille;
  } cases[] = {{0, 1000, 0},      {500, 1000, 500}, {1, 1, 1000},   {999, 1000, 999},
               {2, 3, 666},       {1500, 1000, 1000}, {1001, 1000, 1000}, {-5, 1000, 0},
               {986'732, 986'732, 1000}, {493'366, 986'732, 500}};
  for (const auto& c : cases) {
    ReportProgress(c.done, c.total);
    EXPECT_EQ(progressPermille, c.permille) << c.done << "/" << c.total;
  }
  ReportProgress(5, 0);  // no total: the bar stays where it is
  EXPECT_EQ(progressPermille, 500);
}

}  // namespace
