#pragma once
// The pen's flash as the upgrade uses it, and the image header bytes it reads.
#include <cstdint>

inline constexpr std::uint32_t kIdentityBlockAddress = 0x4000;
inline constexpr std::uint32_t kIdentityBlockSize = 16;
inline constexpr std::uint8_t kSerialNumberMagic = 0x66;    // identity byte 0
inline constexpr std::uint8_t kSensorSettingsMagic = 0x77;  // identity byte 6
inline constexpr std::uint8_t kSensorCutMagic = 0x88;       // identity byte 10

inline constexpr std::uint32_t kBootControlAddress = 0x7000;
inline constexpr std::uint32_t kDfuRegionStart = 0x8000;
inline constexpr std::uint32_t kDfuRegionEnd = 0x28000;
inline constexpr std::uint32_t kMainRegionStart = 0x28000;
inline constexpr std::uint32_t kMainRegionEnd = 0x80000;

// Written at kBootControlAddress to boot the main image: its address with bit 31 set.
inline constexpr std::uint32_t BootControlWord = 0x80000000u | kMainRegionStart;

inline constexpr std::uint32_t BootMagic = 0xFEDEBEDA;
inline constexpr std::uint32_t kBootMagicOffset = 20;     // in both images' headers
inline constexpr std::uint32_t kHeaderReadSize = 128;     // read to look for BootMagic
inline constexpr std::uint32_t kVersionTagOffset = 32;    // main image: 'F' 'W' minor major

// Waits for the pen after a restart.
inline constexpr std::uint32_t kDfuModeTimeoutMs = 10000;
inline constexpr std::uint32_t kRestartTimeoutMs = 15000;
