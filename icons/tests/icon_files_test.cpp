#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "icons/icon_generator.h"

namespace {

std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

unsigned U16(const std::vector<std::uint8_t>& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return U16(b, at) | (static_cast<std::uint32_t>(U16(b, at + 2)) << 16);
}

struct Entry {
  int size;
  int bitsPerPixel;
};

// Checks the directory against each entry's BITMAPINFOHEADER and returns what the entries hold.
std::vector<Entry> Entries(const std::vector<std::uint8_t>& ico) {
  std::vector<Entry> entries;
  EXPECT_GE(ico.size(), 6u);
  EXPECT_EQ(U16(ico, 0), 0u);
  EXPECT_EQ(U16(ico, 2), 1u);
  for (unsigned i = 0; i < U16(ico, 4); ++i) {
    const std::size_t dir = 6 + 16 * i;
    const int size = ico[dir] == 0 ? 256 : ico[dir];
    const int bpp = static_cast<int>(U16(ico, dir + 6));
    const std::uint32_t bytes = U32(ico, dir + 8);
    const std::uint32_t offset = U32(ico, dir + 12);
    EXPECT_LE(offset + static_cast<std::size_t>(bytes), ico.size());
    EXPECT_EQ(U32(ico, offset), 40u);
    EXPECT_EQ(static_cast<int>(U32(ico, offset + 4)), size);
    EXPECT_EQ(static_cast<int>(U32(ico, offset + 8)), 2 * size);
    EXPECT_EQ(static_cast<int>(U16(ico, offset + 14)), bpp);
    const std::size_t colorStride = (static_cast<std::size_t>(size) * bpp / 8 + 3) / 4 * 4;
    const std::size_t maskStride = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    EXPECT_EQ(bytes, 40 + (colorStride + maskStride) * size);
    entries.push_back({size, bpp});
  }
  return entries;
}

TEST(IconFiles, CommittedIconsMatchTheGenerator) {
  EXPECT_EQ(ReadFile(ICONS_DIR "/handover.ico"), icons::HandoverIco());
  EXPECT_EQ(ReadFile(ICONS_DIR "/nibflash.ico"), icons::NibflashIco());
}

TEST(IconFiles, LauncherIconHasFiveTrueColourImagesWithAlpha) {
  const auto entries = Entries(icons::HandoverIco());
  ASSERT_EQ(entries.size(), 5u);
  const int sizes[] = {256, 128, 64, 32, 16};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].size, sizes[i]);
    EXPECT_EQ(entries[i].bitsPerPixel, 32);
  }
}

TEST(IconFiles, ToolIconHasFourImagesOf24Bits) {
  const auto entries = Entries(icons::NibflashIco());
  ASSERT_EQ(entries.size(), 4u);
  const int sizes[] = {64, 48, 32, 16};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].size, sizes[i]);
    EXPECT_EQ(entries[i].bitsPerPixel, 24);
  }
}

// Outside the rounded tile the AND mask must let the screen through and the
// colour bits must be black, or the corners show as boxes.
TEST(IconFiles, CornersAreMaskedAndCentreIsOpaque) {
  for (const auto& ico : {icons::HandoverIco(), icons::NibflashIco()}) {
    const std::uint32_t offset = U32(ico, 6 + 12);
    const int size = ico[6] == 0 ? 256 : ico[6];
    const int bpp = static_cast<int>(U16(ico, 6 + 6));
    const std::size_t colorStride = (static_cast<std::size_t>(size) * bpp / 8 + 3) / 4 * 4;
    const std::size_t maskStride = (static_cast<std::size_t>(size) + 31) / 32 * 4;
    const std::size_t mask = offset + 40 + colorStride * size;
    // Bottom-up rows: row 0 is the bottom line; bit 7 of its first byte is its left pixel.
    EXPECT_TRUE(ico[mask] & 0x80) << "bottom-left corner";
    const std::size_t middleRow = mask + maskStride * (size / 2);
    EXPECT_FALSE(ico[middleRow + size / 16] & (0x80 >> (size / 2 % 8))) << "centre";
    for (int c = 0; c < bpp / 8; ++c) EXPECT_EQ(ico[offset + 40 + c], 0) << "bottom-left colour";
  }
}

}  // namespace
