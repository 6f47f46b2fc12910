// The three successful paths of Upgrade: what goes to the pen, in which order,
// what the pen holds afterwards, and the progress the dialog is shown.
#include <algorithm>

#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testpen::Request;

constexpr std::int32_t kDfuSize = 33952;
constexpr std::int32_t kMainSize = 227308;
constexpr std::int32_t kStartingTotal = kMainSize + 2 * kDfuSize + 691520;

class UpgradePaths : public EngineTest {
 protected:
  // Progress starts at (0, full total), never goes back as a fraction, never
  // passes its total, and ends with (total, total) and (1, 1).
  static void ExpectProgressEndsAt(std::int32_t total) {
    const auto calls = scripted::ProgressCalls();
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls.front(), std::make_pair(0, kStartingTotal));
    EXPECT_EQ(calls[calls.size() - 2], std::make_pair(total, total));
    EXPECT_EQ(calls.back(), std::make_pair(1, 1));
    std::int64_t lastPermille = 0;
    for (const auto& [done, callTotal] : calls) {
      ASSERT_GT(callTotal, 0);
      ASSERT_LE(done, callTotal);
      const std::int64_t permille = std::int64_t{done} * 1000 / callTotal;
      ASSERT_GE(permille, lastPermille) << done << "/" << callTotal;
      lastPermille = permille;
    }
  }

  void ExpectPenUpgraded(const Bytes& identityBefore) {
    const auto dfu = EmbeddedDfu();
    const auto main = EmbeddedMain();
    EXPECT_EQ(pen.Read(0x8000, kDfuSize), dfu);
    EXPECT_EQ(pen.Read(0x28000, kMainSize), main);
    EXPECT_EQ(pen.Read(0x7000, 4), (Bytes{0x00, 0x80, 0x02, 0x80}));
    EXPECT_EQ(pen.Read(0x4000, 0x3000), identityBefore);
    EXPECT_FALSE(pen.dfuMode);
  }

  static std::vector<Request> Only(std::uint8_t command, std::uint32_t from, std::uint32_t to) {
    std::vector<Request> picked;
    for (const auto& request : Sent()) {
      if (request.command == command && request.address >= from && request.address < to) picked.push_back(request);
    }
    return picked;
  }

  // Writes into [start, end): chunks 1.. in order, then chunk 0 last, each after
  // its sector's erase; every sector of the region erased once.
  static void ExpectRegionWritten(std::uint32_t start, std::uint32_t end, std::uint32_t imageSize) {
    const auto sent = Sent();
    std::vector<std::uint32_t> erased;
    std::vector<std::uint32_t> written;
    for (const auto& request : sent) {
      if (request.address < start || request.address >= end) continue;
      if (request.command == FA_CMD_FLASH_ERASE) erased.push_back(request.address);
      if (request.command == FA_CMD_FLASH_WRITE) {
        const std::uint32_t sector = request.address & ~0xFFFu;
        ASSERT_NE(std::find(erased.begin(), erased.end(), sector), erased.end()) << std::hex << request.address;
        const std::uint32_t offset = request.address - start;
        EXPECT_EQ(request.size, std::min<std::uint32_t>(1024, imageSize - offset));
        written.push_back(request.address);
      }
    }
    ASSERT_EQ(erased.size(), (end - start) / 4096);
    for (std::size_t i = 0; i < erased.size(); ++i) EXPECT_EQ(erased[i], start + 4096 * i);
    const std::size_t chunks = (imageSize + 1023) / 1024;
    ASSERT_EQ(written.size(), chunks);
    for (std::size_t i = 0; i + 1 < chunks; ++i) EXPECT_EQ(written[i], start + 1024 * (i + 1));
    EXPECT_EQ(written.back(), start);
  }
};

TEST_F(UpgradePaths, DfuRegionAlreadyEqualIsNotRewrittenButThePenStillRestartsTwice) {
  pen.Load(0x8000, EmbeddedDfu());
  const Bytes identity = pen.Read(0x4000, 0x3000);

  upgrader->Upgrade();

  EXPECT_TRUE(Only(FA_CMD_FLASH_ERASE, 0x8000, 0x28000).empty());
  EXPECT_TRUE(Only(FA_CMD_FLASH_WRITE, 0x8000, 0x28000).empty());
  EXPECT_EQ(Only(FA_CMD_FLASH_READ, 0x8000, 0x28000).size(), 34u + 1u);  // comparison, then the header
  EXPECT_EQ(scripted::RestartCount(), 2);
  ExpectRegionWritten(0x28000, 0x80000, kMainSize);
  ExpectProgressEndsAt(kMainSize + kDfuSize + 560448);
  ExpectPenUpgraded(identity);
}

TEST_F(UpgradePaths, DfuRegionDifferingAtChunkKIsRewrittenAndCreditedKChunks) {
  constexpr std::uint32_t k = 5;
  pen.Load(0x8000, EmbeddedDfu());
  pen.flash[0x8000 + k * 1024 + 700] ^= 0x10;
  const Bytes identity = pen.Read(0x4000, 0x3000);

  upgrader->Upgrade();

  const auto sent = Sent();
  const auto firstErase = std::find_if(sent.begin(), sent.end(),
                                       [](const Request& r) { return r.command == FA_CMD_FLASH_ERASE; });
  ASSERT_NE(firstErase, sent.end());
  EXPECT_EQ(firstErase->address, 0x8000u);
  EXPECT_EQ(firstErase - sent.begin(), 1 + k + 1);  // identity, then chunks 0..k compared
  ExpectRegionWritten(0x8000, 0x28000, kDfuSize);
  ExpectRegionWritten(0x28000, 0x80000, kMainSize);
  EXPECT_EQ(Only(FA_CMD_FLASH_WRITE, 0x8000 + 33 * 1024, 0x8000 + 34 * 1024).at(0).size, 160u);
  EXPECT_EQ(Only(FA_CMD_FLASH_WRITE, 0x28000 + 221 * 1024, 0x28000 + 222 * 1024).at(0).size, 1004u);
  EXPECT_EQ(scripted::RestartCount(), 2);
  ExpectProgressEndsAt(kStartingTotal - (kDfuSize - static_cast<std::int32_t>(k) * 1024));
  ExpectPenUpgraded(identity);
}

TEST_F(UpgradePaths, PenAlreadyInDfuModeGoesStraightToTheMainImage) {
  pen.Load(0x8000, EmbeddedDfu());
  pen.Load(0x7000, Bytes(4, 0xFF));
  pen.Restart();
  ASSERT_TRUE(pen.dfuMode);
  AnnounceDfuMode();
  const Bytes identity = pen.Read(0x4000, 0x3000);

  upgrader->Upgrade();

  EXPECT_TRUE(Only(FA_CMD_FLASH_READ, 0x8000, 0x28000).empty());
  EXPECT_TRUE(Only(FA_CMD_FLASH_ERASE, 0x8000, 0x28000).empty());
  EXPECT_EQ(scripted::RestartCount(), 1);
  ExpectRegionWritten(0x28000, 0x80000, kMainSize);
  ExpectProgressEndsAt(687756);
  ExpectPenUpgraded(identity);
}

TEST_F(UpgradePaths, BootControlWordIsWrittenOnlyAfterTheMainImageVerified) {
  upgrader->Upgrade();
  const auto sent = Sent();
  const auto bootWrite = std::find_if(sent.begin(), sent.end(), [](const Request& r) {
    return r.command == FA_CMD_FLASH_WRITE && r.address == 0x7000;
  });
  ASSERT_NE(bootWrite, sent.end());
  EXPECT_EQ(bootWrite->data, (Bytes{0x00, 0x80, 0x02, 0x80}));
  const auto lastMainRead = std::find_if(sent.rbegin(), sent.rend(), [](const Request& r) {
    return r.command == FA_CMD_FLASH_READ && r.address == 0x28000 + 221 * 1024;
  });
  ASSERT_NE(lastMainRead, sent.rend());
  EXPECT_LT(lastMainRead.base() - sent.begin(), bootWrite - sent.begin());
  EXPECT_EQ(bootWrite + 1, sent.end());
}

TEST_F(UpgradePaths, WholeUpgradeWithResponsesFromAnotherThread) {
  afx::SetTimeScale(1.0);  // no wait may run out while the delivering thread is scheduled
  fromThread = true;
  const Bytes identity = pen.Read(0x4000, 0x3000);
  upgrader->Upgrade();
  ExpectProgressEndsAt(kStartingTotal - kDfuSize);  // an erased DFU region differs at chunk 0
  ExpectPenUpgraded(identity);
}

}  // namespace
