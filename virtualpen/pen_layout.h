#pragma once
// The pen's flash map and the wire constants its firmware shares with the host.
#include <cstdint>

namespace virtualpen {

inline constexpr std::uint32_t kFlashSize = 0x80000;
inline constexpr std::uint32_t kSectorSize = 0x1000;

inline constexpr std::uint32_t kIdentityBlockAddress = 0x4000;
inline constexpr std::uint32_t kIdentityBlockSize = 16;
inline constexpr std::uint32_t kBootControlAddress = 0x7000;  // lowest address the protocol may change
inline constexpr std::uint32_t kBootMainWord = 0x80028000;    // main region address with bit 31 set
inline constexpr std::uint32_t kDfuRegionStart = 0x8000;
inline constexpr std::uint32_t kDfuRegionEnd = 0x28000;
inline constexpr std::uint32_t kMainRegionStart = 0x28000;
inline constexpr std::uint32_t kMainRegionEnd = 0x80000;

// Image header: boot magic at bytes 20..23; the main image has 'F' 'W' minor major at 32..35.
inline constexpr std::uint32_t kBootMagic = 0xFEDEBEDA;
inline constexpr std::uint32_t kBootMagicOffset = 20;
inline constexpr std::uint32_t kVersionMinorOffset = 34;
inline constexpr std::uint32_t kVersionMajorOffset = 35;

inline constexpr std::uint16_t kPenVendorId = 0x1D50;
inline constexpr std::uint16_t kPenProductId = 0x0204;

// Packets the pen sends: 6-byte header, type word at bytes 4..5.
inline constexpr std::uint32_t kPacketHeaderSize = 6;
inline constexpr std::uint16_t kPacketText = 0x0000;
inline constexpr std::uint16_t kPacketDfuMode = 0x5001;
inline constexpr std::uint16_t kPacketFlashResponse = 0x8001;

// Flash-access requests.
inline constexpr std::uint8_t kRequestMarker = 0xFA;
inline constexpr std::uint8_t kCommandRead = 0xF0;
inline constexpr std::uint8_t kCommandWrite = 0xF8;
inline constexpr std::uint8_t kCommandErase = 0xFE;
inline constexpr std::uint32_t kRequestHeaderSize = 8;
inline constexpr std::uint32_t kMaxReadSize = 1024;   // a read response must fit one receive transfer
inline constexpr std::uint32_t kMaxWriteSize = 2048;  // the host's request buffer
inline constexpr std::uint32_t kResponseHeaderSize = 10;

inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusSyntaxError = 0x5E;
inline constexpr std::uint8_t kStatusAddressError = 0xAE;
inline constexpr std::uint8_t kStatusChecksumError = 0xCE;
inline constexpr std::uint8_t kStatusFlashOpError = 0xFE;

// Single-byte control messages.
inline constexpr std::uint8_t kRestartByte = 0xFB;
inline constexpr std::uint8_t kDebugByte = 0xDB;

}  // namespace virtualpen
