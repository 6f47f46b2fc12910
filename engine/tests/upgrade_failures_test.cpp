// Every way Upgrade fails on the way, with its text and the pen it leaves: a bad
// identity block stops it before anything is written; before the restart into
// DFU mode the old main firmware still boots; after it the pen stays in DFU mode.
// A pen that does not come back is waits_test.cpp's; that a rerun then finishes
// is the recovery campaign's to show, through the tool, and the run from DFU mode
// is an upgrade path (upgrade_paths_test.cpp).
#include "engine/tests/engine_fixture.h"

namespace {

using virtualpen::BootTarget;
using UpgradeFailures = TimedEngineTest;
using IdentityBlock = EngineTest;

// The pen's block holds 0x66 at 0, 0x01 at 1 (sensor data present), 0x77 at 6,
// 0x88 at 10.
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
    EXPECT_EQ(FailureOf([&] { RunUpgrade(); }), c.failure);
    EXPECT_EQ(sent.at(0).bytes, (Bytes{0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00}));
    EXPECT_EQ(sent.size() == 1, *c.failure != 0);
  }
}

TEST_P(UpgradeFailures, FailureNamesItsCauseAndLeavesAPenThatBoots) {
  const auto isWriteTo = [](const Bytes& request, std::uint32_t address) {
    return request[1] == 0xF8 && SentRequest{request}.Address() == address;
  };
  // The pen acknowledges a write to `address` but does not keep it.
  const auto losesWriteTo = [&](std::uint32_t address) {
    respond = [&, address](const Bytes& request) {
      Deliver(Execute(request));
      const std::uint8_t flipped = static_cast<std::uint8_t>(flash.Read(address, 1)[0] ^ 0x01);
      if (isWriteTo(request, address)) flash.Load(address, &flipped, 1);
    };
  };
  // The pen reads the image header at `address` back without its boot magic.
  const auto losesMagicAt = [this](std::uint32_t address) {
    respond = [this, address](const Bytes& request) {
      auto response = Execute(request);
      if (response.command == 0xF0 && response.address == address && response.size == 128) {
        response.data[20] ^= 0xFF;
        response.checksum = virtualpen::NegatedByteSum(response.data.data(), response.data.size());
      }
      Deliver(response);
    };
  };
  const struct {
    const char* failure;
    std::function<void()> arrange;
    BootTarget boots;
    std::size_t restarts;
  } cases[] = {
      {"DFU firmware was not written correctly", [&] { losesWriteTo(0x8000 + 5 * 1024); }, BootTarget::MainFirmware, 0},
      {"Boot magic for DFU firmware not found in device", [&] { losesMagicAt(0x8000); }, BootTarget::MainFirmware, 0},
      {"Main firmware was not written correctly", [&] { losesWriteTo(0x28000 + 100 * 1024); }, BootTarget::DfuMode, 1},
      {"Boot magic for main firmware not found in device", [&] { losesMagicAt(0x28000); }, BootTarget::DfuMode, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    ResetPen();
    c.arrange();
    EXPECT_EQ(FailureOf([&] { RunUpgrade(); }), c.failure);
    EXPECT_EQ(restartsAfter.size(), c.restarts);
    EXPECT_EQ(virtualpen::ChooseBootTarget(flash, false), c.boots);
  }
}

INSTANTIATE_TEST_SUITE_P(PenTimes, UpgradeFailures, ::testing::Values(PenTime::Zero, PenTime::Realistic));

}  // namespace
