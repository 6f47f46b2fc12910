// What a write puts on the wire, and when the commands send nothing at all. (The
// shapes of reads and erases are checked along the upgrade paths.)
#include "engine/tests/engine_fixture.h"

namespace {

using FlashRequests = EngineTest;

// The pen checks the checksum and echoes the size it was sent: a write it
// acknowledges carried a correct checksum and was expected back at that size.
// The pen checks the checksum and echoes the size it was sent: a write it
// acknowledges carried a correct checksum and was expected back at that size.
TEST_F(FlashRequests, WriteCarriesTheSliceCutAtTheImageEndUpTo2048Bytes) {
  Bytes image(4096);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  const struct {
    std::uint32_t offset, length, sentSize;  // 0: refused unsent
  } cases[] = {{1024, 1024, 1024}, {3500, 1024, 596}, {4095, 4, 1}, {0, 2048, 2048}, {0, 2049, 0}, {4096, 4, 0}};
  std::uint32_t address = 0x20000;
  for (const auto& c : cases) {
    sent.clear();
    address += 0x1000;
    EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(image, c.offset, c.length, address); }),
              c.sentSize ? "" : "Bad offset or length for flash write");
    ASSERT_EQ(sent.size(), c.sentSize ? 1u : 0u);
    if (sent.empty()) continue;
    EXPECT_EQ(sent[0].bytes.size(), c.sentSize + 12);
    EXPECT_EQ(sent[0].Size(), c.sentSize);
    EXPECT_EQ(flash.Read(address, c.sentSize), Bytes(image.begin() + c.offset, image.begin() + c.offset + c.sentSize));
  }
}

// A null handle (the pen was closed) fails at once; a handle reopened while an
// attempt was lost serves the next attempt.
TEST_F(FlashRequests, EachAttemptTakesTheHandleAfresh) {
  upgrader->driverHandle = nullptr;
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No handle to USB driver");
  EXPECT_TRUE(sent.empty());
  static int reopened;
  upgrader->driverHandle = PenHandle();
  respond = [&](const Bytes& request) {
    if (sent.size() > 1) return Deliver(Execute(request));
    upgrader->driverHandle = &reopened;
  };
  upgrader->EraseFlashSector(0x9000);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].handle, PenHandle());
  EXPECT_EQ(sent[1].handle, &reopened);
}

}  // namespace
