// The steps that look at the held read response (comparison, boot magic) use
// only bytes the last delivery brought, even when a stray delivery replaced the
// validated response in the meantime.
#include "engine/tests/engine_fixture.h"

namespace {

class HeldResponse : public EngineTest {
 protected:
  void Hold(const Bytes& payload) {
    upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
  }
  // The pen's answer to a read of `pages` x 256 bytes.
  Bytes ReadResponse(std::uint32_t address, std::uint8_t pages) {
    const Bytes request = {0xFA, 0xF0, static_cast<std::uint8_t>(address), static_cast<std::uint8_t>(address >> 8),
                           static_cast<std::uint8_t>(address >> 16), 0, 0, pages};
    return virtualpen::EncodeFlashResponse(Execute(request));
  }
};

// The pen's DFU region differs from the image at byte 100 of chunk 7 and holds
// the image up to its end, erased flash after it.
TEST_F(HeldResponse, ComparisonCoversTheDeliveredBytesUpToTheImageEnd) {
  const Bytes image = EmbeddedDfu();
  const Bytes differing = ReadResponse(0x8000 + 7 * 1024, 4);
  const struct {
    Bytes held;
    std::uint32_t offset;
    bool equal;
  } cases[] = {
      {differing, 7 * 1024, false},
      {Bytes(differing.begin(), differing.begin() + 10 + 100), 7 * 1024, true},  // announces 1,024
      {Bytes(differing.begin(), differing.begin() + 10 + 101), 7 * 1024, false},
      {ReadResponse(0x8000 + 33 * 1024, 4), 33 * 1024, true},
  };
  for (const auto& c : cases) {
    Hold(c.held);
    EXPECT_EQ(upgrader->CompareChunk(image, c.offset), c.equal) << c.held.size();
  }
  for (const std::size_t changed : {159u, 160u}) {  // the last image byte, the first one after
    Bytes last = ReadResponse(0x8000 + 33 * 1024, 4);
    last[10 + changed] ^= 1;
    Hold(last);
    EXPECT_EQ(upgrader->CompareChunk(image, 33 * 1024), changed == 160u);
  }
}

TEST_F(HeldResponse, BootMagicNeedsItsFourBytesDelivered) {
  const Bytes header = ReadResponse(0x8000, 1);
  for (std::size_t delivered : {128u, 23u, 24u}) {
    Hold(Bytes(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(10 + delivered)));
    EXPECT_EQ(upgrader->HasBootMagic(), delivered >= 24) << delivered;  // older magic bytes still held
  }
}

}  // namespace
