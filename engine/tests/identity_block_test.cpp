// The identity block at 0x4000 is read and checked before anything is written.
#include "engine/tests/engine_fixture.h"

namespace {

using IdentityBlock = EngineTest;

// The pen's block holds 0x66 at 0, 0x01 at 1 (sensor data present), 0x77 at 6, 0x88 at 10.
TEST_F(IdentityBlock, MagicsAreCheckedInOrderAndTheSensorOnesOnlyWithSensorData) {
  const struct {
    std::vector<std::pair<std::uint32_t, std::uint8_t>> changes;
    const char* failure;
  } cases[] = {
      {{}, ""},
      {{{0, 0x65}}, "Bad serial number magic"},
      {{{0, 0x67}, {1, 0xFF}}, "Bad serial number magic"},
      {{{6, 0x76}}, "Bad sensor settings magic"},
      {{{10, 0x89}}, "Bad sensor cut magic"},
      {{{6, 0x00}, {10, 0x00}}, "Bad sensor settings magic"},
      {{{1, 0xFE}, {10, 0x00}}, "Bad sensor cut magic"},
      {{{1, 0xFF}, {6, 0x00}, {10, 0x00}}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    const auto& valid = virtualpen::kValidIdentityBlock;
    flash.Load(0x4000, valid.data(), valid.size());
    for (const auto& [index, value] : c.changes) flash.Load(0x4000 + index, &value, 1);
    sent.clear();
    EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), c.failure);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].bytes, (Bytes{0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00}));
  }
}

TEST_F(IdentityBlock, BadBlockStopsTheUpgradeBeforeAnythingIsWritten) {
  const std::uint8_t badCut = 0x87;
  flash.Load(0x400A, &badCut, 1);
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Bad sensor cut magic");
  EXPECT_EQ(sent.size(), 1u);
  EXPECT_TRUE(restartsAfter.empty());
}

}  // namespace
