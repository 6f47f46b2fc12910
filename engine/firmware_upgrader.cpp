#include "engine/firmware_upgrader.h"

#include <cstdio>
#include <cstring>

#include "firmware/embedded_images.h"

FirmwareUpgrader::FirmwareUpgrader()
    : FirmwareUpgrader(std::vector<std::uint8_t>(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize),
                       std::vector<std::uint8_t>(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize)) {}

FirmwareUpgrader::FirmwareUpgrader(const std::vector<std::uint8_t>& dfu, const std::vector<std::uint8_t>& main)
    : dfuImage(dfu), mainImage(main) {
  SetVersionFromMainImage();
}

void FirmwareUpgrader::SetVersionFromMainImage() {
  std::strcpy(version, "ERROR");
  if (mainImage.size() < kVersionTagOffset + 4 || mainImage[kVersionTagOffset] != 'F' ||
      mainImage[kVersionTagOffset + 1] != 'W') {
    return;
  }
  const unsigned minor = mainImage[kVersionTagOffset + 2];
  const unsigned major = mainImage[kVersionTagOffset + 3];
  char text[16] = {};
  std::snprintf(text, sizeof text, "%u.%02x", major, minor);
  std::memcpy(version, text, sizeof version - 1);  // a major of 100 or more is cut to 5 characters
  version[sizeof version - 1] = '\0';
}
