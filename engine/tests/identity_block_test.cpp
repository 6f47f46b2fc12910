// The identity block at 0x4000 is read and checked before anything is written.
#include "engine/tests/engine_fixture.h"

namespace {

using IdentityBlock = EngineTest;

// The pen's block holds 0x66 at 0, 0x01 at 1 (sensor data present), 0x77 at 6,
// 0x88 at 10. A bad block stops the upgrade before anything is written.
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
    ResetPen();
    for (const auto& [index, value] : c.changes) Load(0x4000 + index, {value});
    EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), c.failure);
    EXPECT_EQ(sent.at(0).bytes, (Bytes{0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(sent.size() == 1, *c.failure != 0);
  }
}

}  // namespace
