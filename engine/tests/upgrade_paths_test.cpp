// The three successful paths of Upgrade: what goes to the pen in which order,
// what the pen holds afterwards, and the progress the dialog is shown.
#include <algorithm>
#include <tuple>

#include "engine/tests/engine_fixture.h"

namespace {

constexpr std::int32_t kStartingTotal = 986732;  // main + 2 x DFU image + 691,520
constexpr std::uint32_t kDfuSize = 33952;
constexpr std::uint32_t kMainSize = 227308;

using Shape = std::tuple<int, std::uint32_t, std::uint32_t>;  // command, address, size

class UpgradePaths : public TimedEngineTest {
 protected:
  std::vector<Shape> Shapes(std::size_t from, std::size_t to) const {
    std::vector<Shape> shapes;
    for (std::size_t i = from; i < to; ++i) shapes.emplace_back(sent[i].Command(), sent[i].Address(), sent[i].Size());
    return shapes;
  }

  std::size_t Count(std::uint8_t command, std::uint32_t start, std::uint32_t end) const {
    return static_cast<std::size_t>(std::count_if(sent.begin(), sent.end(), [&](const SentRequest& r) {
      return r.Command() == command && r.Address() >= start && r.Address() < end;
    }));
  }

  // Every sector erased once, in order; chunks 1.. written in order, each after
  // its sector's erase and cut at the image's end; chunk 0 (the header) last.
  void ExpectRegionWritten(std::uint32_t start, std::uint32_t end, std::uint32_t imageSize) const {
    std::vector<std::uint32_t> erased, written;
    for (const SentRequest& r : sent) {
      if (r.Address() < start || r.Address() >= end) continue;
      if (r.Command() == 0xFE) erased.push_back(r.Address());
      if (r.Command() != 0xF8) continue;
      EXPECT_NE(std::find(erased.begin(), erased.end(), r.Address() & ~0xFFFu), erased.end()) << r.Address();
      EXPECT_EQ(r.Size(), std::min<std::uint32_t>(1024, imageSize - (r.Address() - start)));
      written.push_back(r.Address());
    }
    ASSERT_EQ(erased.size(), (end - start) / 4096);
    for (std::size_t i = 0; i < erased.size(); ++i) EXPECT_EQ(erased[i], start + 4096 * i);
    ASSERT_EQ(written.size(), (imageSize + 1023) / 1024);
    for (std::size_t i = 0; i + 1 < written.size(); ++i) EXPECT_EQ(written[i], start + 1024 * (i + 1));
    EXPECT_EQ(written.back(), start);
  }

  // The main image written, the boot-control word last and the final restart
  // after it; the progress from (0, starting total) to (total, total) and (1, 1),
  // done never going back or past the total, the total never growing, and moving
  // by at most two chunks at a time but for the restarts' 100,000 units.
  void ExpectUpgraded(std::int32_t total, std::size_t restarts) const {
    ExpectRegionWritten(0x28000, 0x80000, kMainSize);
    EXPECT_EQ(flash.Read(0x8000, kDfuSize), EmbeddedDfu());
    EXPECT_EQ(flash.Read(0x28000, kMainSize), EmbeddedMain());
    EXPECT_EQ(virtualpen::ChooseBootTarget(flash, false), virtualpen::BootTarget::MainFirmware);
    EXPECT_EQ(Shapes(0, 1), (std::vector<Shape>{{0xF0, 0x4000, 16}}));
    EXPECT_EQ(Shapes(sent.size() - 4, sent.size() - 1),
              (std::vector<Shape>{{0xF0, 0x28000 + 221 * 1024, 1024}, {0xF0, 0x28000, 128}, {0xFE, 0x7000, 4096}}));
    EXPECT_EQ(sent.back().bytes, (Bytes{0xFA, 0xF8, 0x00, 0x70, 0x00, 0x00, 0x04, 0x00, 0x00, 0x80, 0x02, 0x80, 0xFE,
                                        0xFE, 0xFF, 0xFF}));
    ASSERT_EQ(restartsAfter.size(), restarts);
    EXPECT_EQ(restartsAfter.back(), sent.size());
    if (restarts == 2) {
      EXPECT_EQ(Shapes(restartsAfter[0] - 2, restartsAfter[0]),
                (std::vector<Shape>{{0xF0, 0x8000, 128}, {0xFE, 0x7000, 4096}}));
    }
    ASSERT_GE(progress.size(), 3u);
    EXPECT_EQ(progress.front(), std::make_pair(0, kStartingTotal));
    EXPECT_EQ(progress[progress.size() - 2], std::make_pair(total, total));
    EXPECT_EQ(progress.back(), std::make_pair(1, 1));
    for (std::size_t i = 1; i + 1 < progress.size(); ++i) {
      const auto [done, all] = progress[i];
      ASSERT_GE(done, progress[i - 1].first) << i;
      ASSERT_TRUE(done - progress[i - 1].first <= 2048 || done - progress[i - 1].first == 100000) << i;
      ASSERT_LE(all, progress[i - 1].second) << i;
      ASSERT_LE(done, all) << i;
    }
  }
};

// Compared up to the differing chunk k, which is credited k chunks; the rest of
// the DFU image leaves the total.
TEST_P(UpgradePaths, DfuRegionDifferingIsRewrittenFromTheFirstDifferentChunk) {
  for (const std::uint32_t differing : {0u, kDfuSize - 1}) {
    SCOPED_TRACE(differing);
    ResetPen();
    Bytes older = EmbeddedDfu();
    older[differing] ^= 0x01;
    flash.Load(0x8000, older.data(), older.size());
    RunUpgrade();

    const std::uint32_t k = differing / 1024;
    const auto erase = std::find_if(sent.begin(), sent.end(), [](const SentRequest& r) { return r.Command() == 0xFE; });
    EXPECT_EQ(static_cast<std::uint32_t>(erase - sent.begin()), 1 + k + 1);  // the identity block, chunks 0..k
    EXPECT_EQ(Count(0xF0, 0x8000, 0x28000), k + 1 + 34 + 1);  // compared, verified, the header
    ExpectRegionWritten(0x8000, 0x28000, kDfuSize);
    ExpectUpgraded(kStartingTotal - static_cast<std::int32_t>(kDfuSize - k * 1024), 2);
  }
}

TEST_P(UpgradePaths, DfuRegionAlreadyEqualIsNotRewrittenButThePenStillRestartsTwice) {
  flash.Load(0x8000, EmbeddedDfu().data(), kDfuSize);
  RunUpgrade();
  EXPECT_EQ(Count(0xFE, 0x8000, 0x28000) + Count(0xF8, 0x8000, 0x28000), 0u);
  EXPECT_EQ(Count(0xF0, 0x8000, 0x28000), 34u + 1u);
  ExpectUpgraded(821708, 2);  // main + DFU image + 560,448
}

// As a run that failed after the restart into DFU mode leaves the pen. A run
// that fails before the main region is written leaves the announcement for the next.
TEST_P(UpgradePaths, PenAlreadyInDfuModeGoesStraightToTheMainImage) {
  flash.Load(0x8000, EmbeddedDfu().data(), kDfuSize);
  flash.EraseSector(0x7000);
  dfuMode = true;
  AnnounceDfuMode();
  bool failedOnce = false;
  respond = [&](const Bytes& request) {
    auto response = Execute(request);
    if (response.command == 0xFE && response.address == 0x28000 && !failedOnce) response.status = 0xFE, failedOnce = true;
    Deliver(response);
  };
  EXPECT_EQ(FailureOf([&] { RunUpgrade(); }), "FA_CMD_FLASH_ERASE failed: FA_STATUS_FLASH_OP_ERROR");
  sent.clear();
  progress.clear();
  RunUpgrade();
  EXPECT_EQ(Count(0xF0, 0x8000, 0x28000) + Count(0xFE, 0x8000, 0x28000), 0u);
  ExpectUpgraded(687756, 1);  // main + 460,448
}

INSTANTIATE_TEST_SUITE_P(PenTimes, UpgradePaths, ::testing::Values(PenTime::Zero, PenTime::Realistic));

}  // namespace
