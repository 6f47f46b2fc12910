// The steps that read data out of the held response after a read (comparison,
// boot magic) use only bytes the last delivery brought, even when a stray
// delivery replaced the validated read response in the meantime.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testpen::MakeResponse;

class HeldResponse : public EngineTest {
 protected:
  void Hold(const Bytes& payload) {
    upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
  }
};

TEST_F(HeldResponse, ComparisonStopsAtTheDeliveredBytes) {
  const Bytes image = EmbeddedMain();
  const Bytes chunk(image.begin(), image.begin() + 1024);
  Hold(MakeResponse(0, 0xF0, 0x28000, 1024, chunk));
  EXPECT_TRUE(upgrader->CompareChunk(image, 0));

  // A header announcing 65,535 bytes with only 100 of them: only those 100 count.
  Bytes stray = MakeResponse(0, 0xF8, 0x28000, 0xFFFF);  // a bare 10-byte header
  stray[3] = 0xF0;
  stray.insert(stray.end(), image.begin(), image.begin() + 100);
  Hold(stray);
  EXPECT_TRUE(upgrader->CompareChunk(image, 0));
  stray[10 + 50] ^= 0xFF;
  Hold(stray);
  EXPECT_FALSE(upgrader->CompareChunk(image, 0));
}

TEST_F(HeldResponse, ComparisonIsCutAtTheImageEnd) {
  const Bytes image(1500, 0x3C);
  Bytes data(1024, 0x3C);
  std::fill(data.begin() + 476, data.end(), 0xFF);  // erased flash after the image
  Hold(MakeResponse(0, 0xF0, 0x8400, 1024, data));
  EXPECT_TRUE(upgrader->CompareChunk(image, 1024));
  data[475] = 0x3D;
  Hold(MakeResponse(0, 0xF0, 0x8400, 1024, data));
  EXPECT_FALSE(upgrader->CompareChunk(image, 1024));
}

TEST_F(HeldResponse, BootMagicNeedsItsBytesDelivered) {
  const Bytes image = EmbeddedDfu();
  const auto full = MakeResponse(0, 0xF0, 0x8000, 128, Bytes(image.begin(), image.begin() + 128));
  Hold(full);
  EXPECT_TRUE(upgrader->HasBootMagic());
  Hold(Bytes(full.begin(), full.begin() + 10 + 22));  // the older magic bytes are still in the buffer
  EXPECT_FALSE(upgrader->HasBootMagic());
  Hold(Bytes(full.begin(), full.begin() + 10 + 24));
  EXPECT_TRUE(upgrader->HasBootMagic());
  Hold(MakeResponse(0, 0xF0, 0x8000, 20, Bytes(image.begin(), image.begin() + 20)));
  EXPECT_FALSE(upgrader->HasBootMagic());
}

}  // namespace
