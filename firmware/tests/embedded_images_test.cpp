#include <gtest/gtest.h>

#include <vector>

#include "firmware/embedded_images.h"
#include "firmware/image_generator.h"

namespace {

std::vector<unsigned char> Dfu() { return {EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize}; }
std::vector<unsigned char> Main() { return {EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize}; }

TEST(EmbeddedImages, HaveTheShippedSizesAndHeaders) {
  ASSERT_EQ(EmbeddedDfuImageSize, 33952u);
  ASSERT_EQ(EmbeddedMainImageSize, 227308u);
  const auto dfu = Dfu();
  const auto main = Main();
  const std::vector<unsigned char> bootMagic = {0xDA, 0xBE, 0xDE, 0xFE};
  EXPECT_EQ(std::vector<unsigned char>(dfu.begin() + 20, dfu.begin() + 24), bootMagic);
  EXPECT_EQ(std::vector<unsigned char>(main.begin() + 20, main.begin() + 24), bootMagic);
  EXPECT_EQ(std::vector<unsigned char>(main.begin() + 32, main.begin() + 36),
            (std::vector<unsigned char>{'F', 'W', 0x18, 0x03}));
}

TEST(EmbeddedImages, AreWhatTheGeneratorMakes) {
  EXPECT_EQ(Dfu(), firmware::GenerateDfuImage());
  EXPECT_EQ(Main(), firmware::GenerateMainImage(3, 0x18));
}

}  // namespace
