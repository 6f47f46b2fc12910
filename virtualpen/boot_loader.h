#pragma once
// The decision the pen's boot ROM makes at every power-up and restart.
#include <cstdint>

#include "virtualpen/flash_memory.h"

namespace virtualpen {

enum class BootTarget {
  MainFirmware,  // boot-control word 0x80028000 and a main image with its boot magic
  DfuMode,       // anything else, or the function button held
  NoFirmware,    // DFU mode is due but the DFU region has no boot magic: the pen stays dark
};

BootTarget ChooseBootTarget(const FlashMemory& flash, bool functionButtonHeld);

// True when the image header at `regionStart` carries the boot magic.
bool HasBootMagic(const FlashMemory& flash, std::uint32_t regionStart);

// bcdDevice of the main firmware: major byte (header byte 35) high, minor (34) low.
std::uint16_t MainFirmwareVersion(const FlashMemory& flash);

}  // namespace virtualpen
