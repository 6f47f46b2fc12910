// The steps that look at the held read response (comparison, boot magic) use
// only the bytes the last delivery brought, even when a stray delivery replaced
// the validated response in the meantime, and compare no further than the image.
#include "engine/tests/engine_fixture.h"

namespace {

class HeldResponse : public EngineTest {
 protected:
  // The pen's answer to a read of 1,024 bytes at `address`.
  Bytes Answer(std::uint32_t address) {
    const Bytes request = {0xFA, 0xF0, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                           static_cast<std::uint8_t>(address >> 16), 0, 0x00, 0x04};
    return virtualpen::EncodeFlashResponse(Execute(request));
  }
  // Reads 1,024 bytes at `address`, answered by the first `bytes` of the pen's
  // answer (with one bit flipped at `flipped`); the read's checks may fail, the
  // answer is held all the same.
  void Hold(std::uint32_t address, std::size_t bytes = 10 + 1024 + 4, std::size_t flipped = 0) {
    Bytes payload = Answer(address);
    if (flipped) payload[flipped] ^= 0x01;
    payload.resize(bytes);
    respond = [this, payload](const Bytes&) { DeliverPayload(payload); };
    FailureOf([&] { upgrader->ReadFlash(address, 1024); });
  }
};

// The pen's DFU region differs from the image at byte 100 of chunk 7, and holds
// the image up to its end in chunk 33 (160 bytes), erased flash after it.
TEST_F(HeldResponse, ComparisonCoversTheDeliveredBytesUpToTheImageEnd) {
  const Bytes image = EmbeddedDfu();
  const struct {
    std::uint32_t chunk;
    std::size_t bytes, flipped;
    bool equal;
  } cases[] = {{7, 10 + 1024 + 4, 0, false}, {7, 10 + 100, 0, true},       {7, 10 + 101, 0, false},
               {33, 10 + 1024 + 4, 0, true}, {33, 10 + 1024 + 4, 10 + 159, false}, {33, 10 + 1024 + 4, 10 + 160, true}};
  for (const auto& c : cases) {
    Hold(0x8000 + c.chunk * 1024, c.bytes, c.flipped);
    EXPECT_EQ(upgrader->CompareChunk(image, c.chunk * 1024), c.equal) << c.chunk << " " << c.bytes << " " << c.flipped;
  }
}

TEST_F(HeldResponse, BootMagicNeedsItsFourBytesDelivered) {
  for (std::size_t delivered : {1024u, 23u, 24u}) {
    Hold(0x8000, 10 + delivered);
    EXPECT_EQ(upgrader->HasBootMagic(), delivered >= 24) << delivered;  // older magic bytes still held
  }
}

// An answer that comes while no command waits (another request's, late or sent
// twice) is dropped: the held response stays the read's, and the next request
// still waits for its own answer.
TEST_F(HeldResponse, AnAnswerNobodyAwaitsIsDroppedAndAnswersNothingLater) {
  upgrader->ReadFlash(0x8000, 1024);
  ASSERT_TRUE(upgrader->HasBootMagic());
  DeliverPayload(Answer(0x7000));  // the boot-control sector's: no magic
  EXPECT_TRUE(upgrader->HasBootMagic());
  respond = [](const Bytes&) {};
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x8400, 1024); }), "No response to flash read command");
}

}  // namespace
