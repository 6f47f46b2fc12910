#pragma once
// Draws the programs' icons and encodes them as .ico files. The output depends
// on nothing but this code, so the committed icons can be checked against it.
#include <cstdint>
#include <vector>

namespace icons {

enum class Design { Handover, Nibflash };

// One square image, rows top-down, straight (not premultiplied) RGBA.
struct Image {
  int size = 0;
  std::vector<std::uint8_t> rgba;
};

Image Draw(Design design, int size);

// An .ico file with one BMP (DIB) entry per image: XOR bitmap of bitsPerPixel
// (24 or 32) followed by the 1-bit AND mask, both bottom-up. At 24 bits a pixel
// is either opaque or, where its alpha is under one half, masked out. A 256-pixel
// image at 32 bits is a PNG entry instead (deflated with zlib at its best level).
std::vector<std::uint8_t> EncodeIco(const std::vector<Image>& images, int bitsPerPixel);

// The committed files: handover.ico (256, 128, 64, 32, 16 px, 32 bpp) and
// nibflash.ico (64, 48, 32, 16 px, 24 bpp).
std::vector<std::uint8_t> HandoverIco();
std::vector<std::uint8_t> NibflashIco();

}  // namespace icons
