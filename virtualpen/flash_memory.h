#pragma once
// NOR-like flash: erasing sets a whole sector to 0xFF; programming can only clear
// bits. Not synchronised: its owner (VirtualPen) guards it.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "virtualpen/pen_layout.h"

namespace virtualpen {

class FlashMemory {
 public:
  FlashMemory() : m_bytes(kFlashSize, 0xFF) {}

  // True when [address, address + size) lies inside the flash.
  static bool Contains(std::uint32_t address, std::size_t size);

  // Erases the sector at `address`, which must be sector-aligned. False, with
  // nothing changed, for an address outside the flash or inside a sector.
  bool EraseSector(std::uint32_t address);

  // Programs `size` bytes. False, with nothing changed, when the range leaves the
  // flash or a byte would need a bit to go from 0 to 1 (the sector needs an erase).
  bool Program(std::uint32_t address, const std::uint8_t* data, std::size_t size);

  // Copies bytes out; the range must lie inside the flash (an empty vector otherwise).
  std::vector<std::uint8_t> Read(std::uint32_t address, std::size_t size) const;
  std::uint32_t ReadWord(std::uint32_t address) const;  // little-endian
  const std::uint8_t* Data() const { return m_bytes.data(); }

  // Sets bytes as a programmer at the factory would, without the NOR rules; for
  // preloading and for tests that need a particular state. False outside the flash.
  bool Load(std::uint32_t address, const std::uint8_t* data, std::size_t size);

 private:
  std::vector<std::uint8_t> m_bytes;
};

}  // namespace virtualpen
