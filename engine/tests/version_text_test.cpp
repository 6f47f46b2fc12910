// The version text shown for the held main image.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes MainWithTag(std::uint8_t f, std::uint8_t w, std::uint8_t minor, std::uint8_t major) {
  Bytes image(1024, 0);
  image[32] = f;
  image[33] = w;
  image[34] = minor;
  image[35] = major;
  return image;
}

TEST(VersionText, EmbeddedImagesAreCopiedAndGiveTheirVersion) {
  FirmwareUpgrader upgrader;
  EXPECT_STREQ(upgrader.version, "3.18");
  EXPECT_EQ(upgrader.dfuImage, EmbeddedDfu());
  EXPECT_EQ(upgrader.mainImage, EmbeddedMain());
  EXPECT_EQ(upgrader.driverHandle.load(), nullptr);
}

TEST(VersionText, MajorInDecimalMinorInTwoHexDigits) {
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('F', 'W', 0x05, 3)).version, "3.05");
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('F', 'W', 0xAB, 12)).version, "12.ab");
}

TEST(VersionText, LongerTextIsCutToFiveCharacters) {
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('F', 'W', 0x18, 100)).version, "100.1");
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('F', 'W', 0xFF, 255)).version, "255.f");
}

TEST(VersionText, ImageWithoutTheTagGivesError) {
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('F', 'V', 0x18, 3)).version, "ERROR");
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), MainWithTag('f', 'W', 0x18, 3)).version, "ERROR");
  Bytes cutShort(34, 0);  // tag present, version bytes missing
  cutShort[32] = 'F';
  cutShort[33] = 'W';
  EXPECT_STREQ(FirmwareUpgrader(Bytes(), cutShort).version, "ERROR");
}

}  // namespace
