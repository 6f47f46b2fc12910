// What the three commands put on the wire, and when they send nothing at all.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class FlashRequests : public EngineTest {};

TEST_F(FlashRequests, ReadIsEightBytesWithAddressAndSizeLittleEndian) {
  pen.Load(0x1234, Bytes(16, 0x5A));
  upgrader->ReadFlash(0x1234, 16);
  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].handle, PenHandle());
  EXPECT_EQ(sent[0].bytes, (Bytes{0xFA, 0xF0, 0x34, 0x12, 0x00, 0x00, 0x10, 0x00}));
}

TEST_F(FlashRequests, EraseAlwaysAsksForOneSector) {
  upgrader->EraseFlashSector(0x7000);
  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].bytes, (Bytes{0xFA, 0xFE, 0x00, 0x70, 0x00, 0x00, 0x00, 0x10}));
}

TEST_F(FlashRequests, WriteCarriesTheSliceAndAChecksumThatMakesTheSumZero) {
  Bytes image(3000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  upgrader->WriteFlash(image, 1024, 1024, 0x28400);

  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 1u);
  const Bytes& request = sent[0].bytes;
  ASSERT_EQ(request.size(), 1024u + 12u);
  EXPECT_EQ(Bytes(request.begin(), request.begin() + 8), (Bytes{0xFA, 0xF8, 0x00, 0x84, 0x02, 0x00, 0x00, 0x04}));
  EXPECT_EQ(Bytes(request.begin() + 8, request.begin() + 8 + 1024), Bytes(image.begin() + 1024, image.begin() + 2048));
  std::uint32_t sum = 0;
  for (std::size_t i = 8; i < 8 + 1024; ++i) sum += request[i];
  const std::uint32_t checksum = request[1032] | request[1033] << 8 | request[1034] << 16 |
                                 static_cast<std::uint32_t>(request[1035]) << 24;
  EXPECT_EQ(sum + checksum, 0u);
  EXPECT_EQ(pen.Read(0x28400, 1024), Bytes(image.begin() + 1024, image.begin() + 2048));
}

TEST_F(FlashRequests, WriteReachingPastTheImageIsShortenedEverywhere) {
  const Bytes image(1500, 0x01);  // sum of the last 476 bytes: 476
  upgrader->WriteFlash(image, 1024, 1024, 0x8400);

  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 1u);
  const Bytes& request = sent[0].bytes;
  ASSERT_EQ(request.size(), 476u + 12u);
  EXPECT_EQ(request[6] | request[7] << 8, 476);
  EXPECT_EQ(Bytes(request.end() - 4, request.end()), (Bytes{0x24, 0xFE, 0xFF, 0xFF}));  // 0 - 476

  // The response must echo the shortened size too.
  respond = [this](const Bytes&) { Deliver(testpen::MakeResponse(0, 0xF8, 0x8400, 1024)); };
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(image, 1024, 1024, 0x8400); }), "Bad address or size in response");
}

// Nothing to take from the image, or more than one request carries.
TEST_F(FlashRequests, BadWriteRangesAreRefusedUnsent) {
  const Bytes image(8192, 0x01);
  for (const auto& [offset, length] : {std::pair<int, int>{8192, 1024}, {9000, 1024}, {0, 4096}}) {
    EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(image, offset, length, 0x8000); }),
              "Bad offset or length for flash write");
  }
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(), 0, 4, 0x7000); }), "Bad offset or length for flash write");
  EXPECT_TRUE(scripted::Sent().empty());
  upgrader->WriteFlash(image, 0, 2048, 0x8000);
  EXPECT_EQ(scripted::Sent().size(), 1u);
}

TEST_F(FlashRequests, NoHandleFailsAtOnceWithoutSending) {
  upgrader->driverHandle = nullptr;
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x8000); }), "No handle to USB driver");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No handle to USB driver");
  EXPECT_TRUE(scripted::Sent().empty());
}

TEST_F(FlashRequests, EachAttemptTakesTheHandleAfresh) {
  static int otherPen;
  int requests = 0;
  respond = [&](const Bytes& request) {
    if (++requests == 1) {
      upgrader->driverHandle = &otherPen;  // reopened while the first attempt was lost
    } else {
      Deliver(pen.Answer(request));
    }
  };
  upgrader->EraseFlashSector(0x8000);
  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].handle, PenHandle());
  EXPECT_EQ(sent[1].handle, &otherPen);
}

}  // namespace
