#pragma once
// Placeholder firmware for the pen: deterministic images with the real sizes and
// header bytes. The shipped files dfu_image.bin and main_image.bin were made by
// generate_images; the virtual pen uses the same functions for older firmware.
#include <cstdint>
#include <vector>

namespace firmware {

inline constexpr std::size_t kDfuImageSize = 33952;
inline constexpr std::size_t kMainImageSize = 227308;

// The pen's boot loader (DFU firmware). `revision` changes the body, not the header.
std::vector<std::uint8_t> GenerateDfuImage(std::uint8_t revision = 0);

// The pen's main firmware, with 'F' 'W' minor major at bytes 32..35.
std::vector<std::uint8_t> GenerateMainImage(std::uint8_t major, std::uint8_t minor);

}  // namespace firmware
