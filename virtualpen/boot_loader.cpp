#include "virtualpen/boot_loader.h"

namespace virtualpen {

bool HasBootMagic(const FlashMemory& flash, std::uint32_t regionStart) {
  return flash.ReadWord(regionStart + kBootMagicOffset) == kBootMagic;
}

BootTarget ChooseBootTarget(const FlashMemory& flash, bool functionButtonHeld) {
  const bool mainBootable =
      flash.ReadWord(kBootControlAddress) == kBootMainWord && HasBootMagic(flash, kMainRegionStart);
  if (mainBootable && !functionButtonHeld) return BootTarget::MainFirmware;
  return HasBootMagic(flash, kDfuRegionStart) ? BootTarget::DfuMode : BootTarget::NoFirmware;
}

std::uint16_t MainFirmwareVersion(const FlashMemory& flash) {
  const std::uint8_t* header = flash.Data() + kMainRegionStart;
  return static_cast<std::uint16_t>(header[kVersionMajorOffset] << 8 | header[kVersionMinorOffset]);
}

}  // namespace virtualpen
