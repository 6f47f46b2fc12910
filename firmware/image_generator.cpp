#include "firmware/image_generator.h"

#include <cstring>

namespace firmware {
namespace {

// xorshift32: small, deterministic, and good enough to make every chunk distinct.
std::vector<std::uint8_t> Body(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> image(size);
  std::uint32_t state = seed;
  for (auto& byte : image) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  return image;
}

void PutHeader(std::vector<std::uint8_t>& image, const char* name) {
  std::memset(image.data(), 0, 32);
  std::memcpy(image.data(), name, std::strlen(name) < 20 ? std::strlen(name) : 20);
  const std::uint8_t bootMagic[4] = {0xDA, 0xBE, 0xDE, 0xFE};  // 0xFEDEBEDA, little-endian
  std::memcpy(image.data() + 20, bootMagic, 4);
}

}  // namespace

std::vector<std::uint8_t> GenerateDfuImage(std::uint8_t revision) {
  auto image = Body(kDfuImageSize, 0x0DF00DF0u + revision);
  PutHeader(image, "PLACEHOLDER DFU");
  return image;
}

std::vector<std::uint8_t> GenerateMainImage(std::uint8_t major, std::uint8_t minor) {
  auto image = Body(kMainImageSize, 0x4D41494Eu + (major << 8) + minor);
  PutHeader(image, "PLACEHOLDER MAIN");
  image[32] = 'F';
  image[33] = 'W';
  image[34] = minor;
  image[35] = major;
  return image;
}

}  // namespace firmware
