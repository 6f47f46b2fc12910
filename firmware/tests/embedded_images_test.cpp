// The committed images are what the generator makes, so that the virtual pen's
// firmware, made by the same generator, is the firmware the tool ships.
#include <gtest/gtest.h>

#include <vector>

#include "firmware/embedded_images.h"
#include "firmware/image_generator.h"

TEST(EmbeddedImages, AreWhatTheGeneratorMakes) {
  EXPECT_EQ(std::vector<unsigned char>(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize),
            firmware::GenerateDfuImage());
  EXPECT_EQ(std::vector<unsigned char>(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize),
            firmware::GenerateMainImage(3, 0x18));
}
