// The committed icons are what the generator makes.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "icons/icon_generator.h"

static std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(IconFiles, CommittedIconsAreWhatTheGeneratorMakes) {
  EXPECT_EQ(ReadFile(ICONS_DIR "/handover.ico"), icons::HandoverIco());
  EXPECT_EQ(ReadFile(ICONS_DIR "/nibflash.ico"), icons::NibflashIco());
}
