// The flash-access protocol as the pen carries it out: the status of every kind
// of request, each limit from both sides, and the NOR rules. (The response layout
// is checked byte by byte in the traffic record, and by the engine's tests.)
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

Bytes Cut(Bytes request, std::size_t size) {
  request.resize(size);
  return request;
}

Bytes WithBadChecksum(Bytes request) {
  request.back() ^= 0x01;
  return request;
}

TEST(FlashProtocol, StatusesInTheirOrder) {
  const RunningFirmware main = RunningFirmware::Main, dfu = RunningFirmware::Dfu;
  const struct {
    RunningFirmware running;
    Bytes request;
    std::uint8_t status;
  } cases[] = {
      {main, Request(kCommandRead, kFlashSize - 1024, 1024), kStatusOk},
      {main, Request(kCommandRead, 0x4000, 1025), kStatusSyntaxError},
      {main, Request(kCommandRead, 0x4000, 0), kStatusSyntaxError},
      {main, Request(kCommandRead, kFlashSize - 8, 9), kStatusAddressError},
      {main, Request(kCommandRead, 0xFFFFFFF0u, 32), kStatusAddressError},  // no wrap-around
      {main, Cut(kIdentityRead, 7), kStatusSyntaxError},
      {main, Cut(kIdentityRead, 9), kStatusSyntaxError},
      {main, Request(0xF1, 0x4000, 16), kStatusSyntaxError},
      {main, Bytes{0xFC, kCommandRead, 0, 0x40, 0, 0, 16, 0}, kStatusSyntaxError},
      {main, Write(0x9000, Bytes(2048, 0)), kStatusOk},
      {main, Write(0x9000, Bytes(2049, 0)), kStatusSyntaxError},
      {main, Write(0x9000, {}), kStatusSyntaxError},
      {main, Cut(Write(0x9000, Bytes(8, 0)), 16), kStatusSyntaxError},
      {main, WithBadChecksum(Write(0x9000, Bytes(8, 1))), kStatusChecksumError},
      {main, WithBadChecksum(Write(0x4000, Bytes(8, 1))), kStatusChecksumError},  // before the address test
      {main, Write(kBootControlAddress, Bytes(4, 0)), kStatusOk},
      {main, Write(kBootControlAddress - 1, Bytes(4, 0)), kStatusAddressError},  // boot ROM, identity block
      {main, Write(kMainRegionStart - 4, Bytes(4, 0)), kStatusOk},
      {main, Write(kMainRegionStart - 2, Bytes(4, 0)), kStatusAddressError},  // the running main region
      {dfu, Write(kMainRegionStart, Bytes(4, 0)), kStatusOk},
      {dfu, Write(kDfuRegionEnd - 2, Bytes(4, 0)), kStatusAddressError},  // the running DFU region
      {dfu, Write(kFlashSize - 4, Bytes(4, 0)), kStatusOk},
      {dfu, Write(kFlashSize - 2, Bytes(4, 0)), kStatusAddressError},
      {main, Erase(0x9000), kStatusOk},
      {main, Erase(0x9010), kStatusAddressError},
      {main, Request(kCommandErase, 0x9000, 0x800), kStatusSyntaxError},
      {main, Erase(kBootControlAddress - kSectorSize), kStatusAddressError},
      {main, Erase(kMainRegionStart - kSectorSize), kStatusOk},
      {main, Erase(kMainRegionStart), kStatusAddressError},
      {dfu, Erase(kDfuRegionEnd - kSectorSize), kStatusAddressError},
      {dfu, Erase(kFlashSize - kSectorSize), kStatusOk},
      {dfu, Erase(kFlashSize), kStatusAddressError},
  };
  for (const auto& c : cases) {
    FlashMemory flash;
    const FlashResponse response = ExecuteFlashRequest(flash, c.running, c.request.data(), c.request.size());
    EXPECT_EQ(response.status, c.status) << ::testing::PrintToString(Cut(c.request, 8));
    EXPECT_EQ(response.command, c.request[1]);  // echoed also for a malformed request
  }
}

TEST(FlashProtocol, EraseSetsOneSectorAndProgrammingOnlyClearsBitsAllOrNothing) {
  FlashMemory flash;
  const auto status = [&](const Bytes& request) {
    return ExecuteFlashRequest(flash, RunningFirmware::Main, request.data(), request.size()).status;
  };
  for (std::uint32_t address : {0x9FFFu, 0xA000u, 0xAFFFu, 0xB000u}) ASSERT_EQ(status(Write(address, {0x0F})), kStatusOk);
  EXPECT_EQ(status(Write(0x9FFF, {0x0E, 0x00})), kStatusOk);
  EXPECT_EQ(status(Write(0x9FFE, {0x00, 0x0E, 0x01})), kStatusFlashOpError);  // a 0->1 in its last byte
  EXPECT_EQ(flash.Read(0x9FFE, 3), Bytes({0xFF, 0x0E, 0x00}));
  EXPECT_FALSE(flash.EraseSector(0xA010));
  EXPECT_EQ(status(Erase(0xA000)), kStatusOk);
  EXPECT_EQ(flash.Read(0x9FFF, 2), Bytes({0x0E, 0xFF}));
  EXPECT_EQ(flash.Read(0xAFFF, 2), Bytes({0xFF, 0x0F}));
}

}  // namespace
}  // namespace virtualpen::testing
