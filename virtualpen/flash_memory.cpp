#include "virtualpen/flash_memory.h"

#include <algorithm>
#include <cstring>

namespace virtualpen {

bool FlashMemory::Contains(std::uint32_t address, std::size_t size) {
  return address <= kFlashSize && size <= kFlashSize - address;
}

bool FlashMemory::EraseSector(std::uint32_t address) {
  if (address % kSectorSize != 0 || !Contains(address, kSectorSize)) return false;
  std::fill_n(m_bytes.begin() + address, kSectorSize, std::uint8_t{0xFF});
  return true;
}

bool FlashMemory::Program(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  if (!Contains(address, size)) return false;
  std::uint8_t* cells = m_bytes.data() + address;
  // All or nothing: a refused write must not leave half a chunk behind.
  for (std::size_t i = 0; i < size; ++i) {
    if ((data[i] & ~cells[i]) != 0) return false;
  }
  for (std::size_t i = 0; i < size; ++i) cells[i] &= data[i];
  return true;
}

std::vector<std::uint8_t> FlashMemory::Read(std::uint32_t address, std::size_t size) const {
  if (!Contains(address, size)) return {};
  return std::vector<std::uint8_t>(m_bytes.begin() + address, m_bytes.begin() + address + size);
}

std::uint32_t FlashMemory::ReadWord(std::uint32_t address) const {
  if (!Contains(address, 4)) return 0xFFFFFFFFu;
  const std::uint8_t* p = m_bytes.data() + address;
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

bool FlashMemory::Load(std::uint32_t address, const std::uint8_t* data, std::size_t size) {
  if (!Contains(address, size)) return false;
  if (size > 0) std::memcpy(m_bytes.data() + address, data, size);
  return true;
}

}  // namespace virtualpen
