#pragma once
// The pen's flash as the upgrade uses it, and the image header bytes it reads.
#include <cstdint>

inline constexpr std::uint32_t IDENTITY_BLOCK_ADDRESS = 0x4000;
inline constexpr std::uint32_t IDENTITY_BLOCK_SIZE = 16;
inline constexpr std::uint8_t SERIAL_NUMBER_MAGIC = 0x66;    // identity byte 0
inline constexpr std::uint8_t SENSOR_SETTINGS_MAGIC = 0x77;  // identity byte 6
inline constexpr std::uint8_t SENSOR_CUT_MAGIC = 0x88;       // identity byte 10

inline constexpr std::uint32_t BOOT_CONTROL_ADDRESS = 0x7000;
inline constexpr std::uint32_t DFU_REGION_START = 0x8000;
inline constexpr std::uint32_t DFU_REGION_END = 0x28000;
inline constexpr std::uint32_t MAIN_REGION_START = 0x28000;
inline constexpr std::uint32_t MAIN_REGION_END = 0x80000;

// Written at BOOT_CONTROL_ADDRESS to boot the main image: its address with bit 31 set.
inline constexpr std::uint32_t BootControlWord = 0x80000000u | MAIN_REGION_START;

inline constexpr std::uint32_t BootMagic = 0xFEDEBEDA;
inline constexpr std::uint32_t BOOT_MAGIC_OFFSET = 20;     // in both images' headers
inline constexpr std::uint32_t HEADER_READ_SIZE = 128;     // read to look for BootMagic
inline constexpr std::uint32_t VERSION_TAG_OFFSET = 32;    // main image: 'F' 'W' minor major

// Waits for the pen after a restart.
inline constexpr std::uint32_t DFU_MODE_TIMEOUT_MS = 10000;
inline constexpr std::uint32_t RESTART_TIMEOUT_MS = 15000;
