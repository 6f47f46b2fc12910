// The version text shown for the held main image: major in decimal, minor in two
// hex digits, cut to five characters; "ERROR" without the "FW" tag or when the
// image ends before the version bytes.
#include "engine/tests/engine_fixture.h"

namespace {

TEST(VersionText, TextForEachTag) {
  const struct {
    Bytes tag;
    std::size_t imageSize;
    const char* text;
  } cases[] = {{{'F', 'W', 0x05, 3}, 36, "3.05"},      {{'F', 'W', 0xAB, 12}, 1024, "12.ab"},
               {{'F', 'W', 0x18, 100}, 1024, "100.1"}, {{'F', 'W', 0xFF, 255}, 1024, "255.f"},
               {{'F', 'V', 0x18, 3}, 1024, "ERROR"},   {{'f', 'W', 0x18, 3}, 1024, "ERROR"},
               {{'F', 'W', 0x18, 3}, 35, "ERROR"}};
  for (const auto& c : cases) {
    Bytes image(1024, 0);
    std::copy(c.tag.begin(), c.tag.end(), image.begin() + 32);
    image.resize(c.imageSize);
    EXPECT_STREQ(FirmwareUpgrader(Bytes(), image).Version(), c.text) << c.text;
  }
}

}  // namespace
