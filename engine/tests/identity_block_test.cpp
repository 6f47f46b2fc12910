// The identity block at 0x4000 is checked before anything is written.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class IdentityBlock : public EngineTest {
 protected:
  void SetIdentity(std::size_t index, std::uint8_t value) { pen.flash[0x4000 + index] = value; }
};

TEST_F(IdentityBlock, ValidBlockPassesAfterOneSixteenByteRead) {
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "");
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].command, FA_CMD_FLASH_READ);
  EXPECT_EQ(sent[0].address, 0x4000u);
  EXPECT_EQ(sent[0].size, 16u);
}

TEST_F(IdentityBlock, SerialNumberMagicIsAlwaysChecked) {
  SetIdentity(0, 0x65);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "Bad serial number magic");
  SetIdentity(1, 0xFF);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "Bad serial number magic");
}

TEST_F(IdentityBlock, SensorMagicsAreCheckedUnlessByteOneIsErased) {
  SetIdentity(6, 0x00);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "Bad sensor settings magic");
  SetIdentity(6, 0x77);
  SetIdentity(10, 0x00);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "Bad sensor cut magic");
  SetIdentity(6, 0x00);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "Bad sensor settings magic");
  SetIdentity(1, 0xFF);
  EXPECT_EQ(FailureOf([&] { upgrader->CheckIdentityBlock(); }), "");
}

TEST_F(IdentityBlock, BadBlockStopsTheUpgradeBeforeAnythingIsErased) {
  SetIdentity(10, 0x87);
  const Bytes flashBefore = pen.flash;
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Bad sensor cut magic");
  EXPECT_EQ(Sent().size(), 1u);
  EXPECT_EQ(pen.flash, flashBefore);
  EXPECT_EQ(scripted::RestartCount(), 0);
}

}  // namespace
