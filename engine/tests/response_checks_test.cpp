// How a response that did arrive is judged: status first, then the echoed
// command, then address and size (and whether the bytes were delivered at all),
// then a read's checksum. None of these is retried.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testpen::MakeResponse;

class ResponseChecks : public EngineTest {
 protected:
  void AnswerWith(const Bytes& payload) {
    respond = [this, payload](const Bytes&) { Deliver(payload); };
  }
};

TEST_F(ResponseChecks, BadStatusNamesTheCommandSentAndIsNotRetried) {
  AnswerWith(MakeResponse(0xCE, 0xF8, 0x7000, 4));
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }),
            "FA_CMD_FLASH_WRITE failed: FA_STATUS_CHECKSUM_ERROR");
  AnswerWith(MakeResponse(0x42, 0xFE, 0x8000, 4096));
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x8000); }), "FA_CMD_FLASH_ERASE failed: ??");
  AnswerWith(MakeResponse(0xAE, 0xF0, 0x4000, 16));
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "FA_CMD_FLASH_READ failed: FA_STATUS_ADDRESS_ERROR");
  EXPECT_EQ(scripted::Sent().size(), 3u);
}

// Each check in its order: a response failing several is named for the first.
TEST_F(ResponseChecks, ChecksComeInOrderStatusEchoAddressSizeChecksum) {
  auto badChecksum = MakeResponse(0, 0xF0, 0x4000, 16, Bytes(16, 0x21));
  badChecksum.back() ^= 0x01;
  const struct {
    Bytes answer;
    std::function<void()> command;
    const char* failure;
  } cases[] = {
      {MakeResponse(0x5E, 0xFE, 0x9999, 1), [this] { upgrader->ReadFlash(0x4000, 16); },
       "FA_CMD_FLASH_READ failed: FA_STATUS_SYNTAX_ERROR"},
      {MakeResponse(0, 0xF8, 0x9999, 1), [this] { upgrader->EraseFlashSector(0x8000); }, "Command response out of sync"},
      {MakeResponse(0, 0xFE, 0x9000, 4096), [this] { upgrader->EraseFlashSector(0x8000); },
       "Bad address or size in response"},
      {MakeResponse(0, 0xFE, 0x8000, 1024), [this] { upgrader->EraseFlashSector(0x8000); },
       "Bad address or size in response"},
      // The size field is 16 bits wide: 0x11000 must not pass as 0x1000.
      {MakeResponse(0, 0xF0, 0x4000, 0x1000, Bytes(0x1000, 0)), [this] { upgrader->ReadFlash(0x4000, 0x11000); },
       "Bad address or size in response"},
      {badChecksum, [this] { upgrader->ReadFlash(0x4000, 16); }, "Checksum error in read response"},
      // All-zero data has an all-zero checksum.
      {MakeResponse(0, 0xF0, 0x20000, 1024, Bytes(1024, 0)), [this] { upgrader->ReadFlash(0x20000, 1024); }, ""},
  };
  for (const auto& c : cases) {
    AnswerWith(c.answer);
    EXPECT_EQ(FailureOf(c.command), c.failure);
  }
}

// The buffer still holds the full answer to the first read. A truncated second
// answer must not be completed from those older bytes.
TEST_F(ResponseChecks, TruncatedReadAfterAFullOneIsRejected) {
  Bytes data(1024);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
  const auto full = MakeResponse(0, 0xF0, 0x8000, 1024, data);
  AnswerWith(full);
  upgrader->ReadFlash(0x8000, 1024);

  AnswerWith(Bytes(full.begin(), full.begin() + 10 + 1000));
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x8000, 1024); }), "Bad address or size in response");
  AnswerWith(Bytes(full.begin(), full.end() - 1));  // checksum cut short
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x8000, 1024); }), "Bad address or size in response");
  AnswerWith(full);
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x8000, 1024); }), "");
}

TEST_F(ResponseChecks, ResponseShorterThanItsHeaderIsRejected) {
  const auto full = MakeResponse(0, 0xFE, 0x8000, 4096);
  AnswerWith(full);
  upgrader->EraseFlashSector(0x8000);
  for (std::size_t length : {0u, 3u, 9u}) {
    AnswerWith(Bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(length)));
    EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x8000); }), "Bad address or size in response")
        << length << " bytes";
  }
}

TEST_F(ResponseChecks, DeliveryLongerThanTheBufferIsCut) {
  auto payload = MakeResponse(0, 0xF0, 0x10000, 4096, Bytes(4096, 0xFF));
  payload.resize(payload.size() + 500, 0xEE);
  AnswerWith(payload);
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x10000, 4096); }), "");
  // A read asking for more than the buffer can hold can never be satisfied.
  AnswerWith(MakeResponse(0, 0xF0, 0x10000, 4097, Bytes(4097, 0)));
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x10000, 4097); }), "Bad address or size in response");
}

}  // namespace
