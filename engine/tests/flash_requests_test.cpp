// One flash request: what a write puts on the wire, when the commands send nothing
// at all (the shapes of reads and erases are checked along the upgrade paths), and
// how a response that did arrive is judged: status first, then the echoed command,
// then address and size (and whether its bytes were delivered at all), then a
// read's checksum. None of these is retried.
#include "engine/tests/engine_fixture.h"

namespace {

using FlashRequests = EngineTest;

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

// A null handle (the pen was taken away) fails at once, with nothing sent.
TEST_F(FlashRequests, NoHandleNoRequest) {
  upgrader->TakePen();
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No handle to USB driver");
  EXPECT_TRUE(sent.empty());
}

// Payload: 2 bytes, status, command, address (4), size (2), read data, checksum (4).
TEST_F(FlashRequests, FirstFailingCheckOfTheResponseNamesTheFailure) {
  const std::function<void(StepUpgrader&)> read = [](StepUpgrader& u) { u.ReadFlash(0x4000, 16); };
  const std::function<void(StepUpgrader&)> write = [](StepUpgrader& u) { u.WriteFlash(Bytes(4, 0), 0, 4, 0x7000); };
  const std::function<void(StepUpgrader&)> erase = [](StepUpgrader& u) { u.EraseFlashSector(0x9000); };
  const struct {
    const std::function<void(StepUpgrader&)>& command;
    std::function<void(Bytes&)> alter;
    const char* failure;
  } cases[] = {
      {write, [](Bytes& p) { p[2] = 0xCE; }, "FA_CMD_FLASH_WRITE failed: FA_STATUS_CHECKSUM_ERROR"},
      {erase, [](Bytes& p) { p[2] = 0x42; }, "FA_CMD_FLASH_ERASE failed: ??"},
      {erase, [](Bytes& p) { p[2] = 0xFE; }, "FA_CMD_FLASH_ERASE failed: FA_STATUS_FLASH_OP_ERROR"},
      {read, [](Bytes& p) { p[2] = 0x5E; }, "FA_CMD_FLASH_READ failed: FA_STATUS_SYNTAX_ERROR"},
      {read, [](Bytes& p) { p[2] = 0xAE, p[3] = 0xF8, p[4] ^= 1; }, "FA_CMD_FLASH_READ failed: FA_STATUS_ADDRESS_ERROR"},
      {erase, [](Bytes& p) { p[3] = 0xF0, p[5] ^= 1; }, "Command response out of sync"},
      {erase, [](Bytes& p) { p[5] ^= 0x10; }, "Bad address or size in response"},
      {write, [](Bytes& p) { p[7] ^= 0x80; }, "Bad address or size in response"},
      {erase, [](Bytes& p) { p[9] = 0x04; }, "Bad address or size in response"},
      {read, [](Bytes& p) { p[8] ^= 1, p.back() ^= 1; }, "Bad address or size in response"},
      {read, [](Bytes& p) { p.back() ^= 1; }, "Checksum error in read response"},
      {read, [](Bytes& p) { std::fill(p.begin() + 10, p.end(), 0); }, ""},  // all-zero data and checksum
      {read, [](Bytes& p) { p.pop_back(); }, "Bad address or size in response"},
      {erase, [](Bytes& p) { p.resize(9); }, "Bad address or size in response"},
      {erase, [](Bytes& p) { p.clear(); }, "Bad address or size in response"},
      {read, [](Bytes& p) { p.resize(5000, 0xEE); }, ""},  // cut to the buffer's 4,110 bytes
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    c.command(*upgrader);  // the buffer holds the full answer: a short delivery must not be completed from it
    sent.clear();
    respond = [&](const Bytes& request) {
      Bytes payload = virtualpen::EncodeFlashResponse(Execute(request));
      c.alter(payload);
      DeliverPayload(payload, 0);
    };
    EXPECT_EQ(FailureOf([&] { c.command(*upgrader); }), c.failure);
    EXPECT_EQ(sent.size(), 1u);
    respond = [this](const Bytes& request) { Deliver(Execute(request)); };
  }
}

}  // namespace
