#pragma once
// The two images compiled into the tool, immutable.
#include <cstddef>

extern const unsigned char EmbeddedDfuImage[];
extern const std::size_t EmbeddedDfuImageSize;
extern const unsigned char EmbeddedMainImage[];
extern const std::size_t EmbeddedMainImageSize;
