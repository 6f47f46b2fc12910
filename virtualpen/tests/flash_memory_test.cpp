#include <gtest/gtest.h>

#include <vector>

#include "virtualpen/flash_memory.h"

namespace virtualpen {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(FlashMemory, ProgrammingOnlyClearsBitsAndRefusesA0To1Whole) {
  FlashMemory flash;
  const Bytes first = {0xF0, 0x0F, 0x55, 0xFF};
  ASSERT_TRUE(flash.Program(0x9000, first.data(), first.size()));
  const Bytes fewerOnes = {0x30, 0x0F, 0x00, 0xFF};
  ASSERT_TRUE(flash.Program(0x9000, fewerOnes.data(), fewerOnes.size()));
  EXPECT_EQ(flash.Read(0x9000, 4), fewerOnes);
  // Only the byte for 0x9002 would need a 0->1, yet nothing of the write is applied.
  const Bytes needsErase = {0x00, 0x00, 0x00, 0x01, 0x00};
  EXPECT_FALSE(flash.Program(0x8FFF, needsErase.data(), needsErase.size()));
  EXPECT_EQ(flash.Read(0x8FFF, 5), Bytes({0xFF, 0x30, 0x0F, 0x00, 0xFF}));
}

TEST(FlashMemory, EraseSetsExactlyOneSectorToFF) {
  FlashMemory flash;
  const Bytes zeros(3 * kSectorSize, 0x00);
  ASSERT_TRUE(flash.Program(0x9000, zeros.data(), zeros.size()));
  ASSERT_TRUE(flash.EraseSector(0xA000));
  EXPECT_EQ(flash.Read(0x9000, kSectorSize), Bytes(kSectorSize, 0x00));
  EXPECT_EQ(flash.Read(0xA000, kSectorSize), Bytes(kSectorSize, 0xFF));
  EXPECT_EQ(flash.Read(0xB000, kSectorSize), Bytes(kSectorSize, 0x00));
}

TEST(FlashMemory, RefusesMisalignedEraseAndRangesOutsideTheFlash) {
  FlashMemory flash;
  EXPECT_FALSE(flash.EraseSector(0xA010));
  EXPECT_FALSE(flash.EraseSector(kFlashSize));
  const Bytes two = {0, 0};
  EXPECT_FALSE(flash.Program(kFlashSize - 1, two.data(), two.size()));
  EXPECT_FALSE(flash.Program(0xFFFFFFFFu, two.data(), two.size()));  // no wrap-around
  EXPECT_TRUE(flash.Read(kFlashSize - 1, 2).empty());
  EXPECT_TRUE(flash.Program(kFlashSize - 2, two.data(), two.size()));
}

}  // namespace
}  // namespace virtualpen
