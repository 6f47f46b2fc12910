#pragma once
// Wire format of the flash-access protocol. Requests and responses are
// byte-packed and little-endian; they are built and parsed byte by byte, never
// through a struct overlay.
#include <cstdint>

// Request: marker, command, address (4), size (2) [, data (size), checksum (4)].
inline constexpr std::uint8_t kFaRequestMarker = 0xFA;
inline constexpr std::uint32_t kFaRequestHeaderSize = 8;
inline constexpr std::uint32_t kFaChecksumSize = 4;
inline constexpr std::uint32_t kFaMaxWriteSize = 2048;
inline constexpr std::uint32_t kFaRequestBufferSize = kFaRequestHeaderSize + kFaMaxWriteSize + kFaChecksumSize;

inline constexpr std::uint8_t FA_CMD_FLASH_READ = 0xF0;
inline constexpr std::uint8_t FA_CMD_FLASH_WRITE = 0xF8;
inline constexpr std::uint8_t FA_CMD_FLASH_ERASE = 0xFE;

// Response: two unexamined bytes, status, echoed command, address (4), size (2)
// [, data (size), checksum (4) for reads].
inline constexpr std::uint32_t kFaResponseStatusOffset = 2;
inline constexpr std::uint32_t kFaResponseCommandOffset = 3;
inline constexpr std::uint32_t kFaResponseAddressOffset = 4;
inline constexpr std::uint32_t kFaResponseSizeOffset = 8;
inline constexpr std::uint32_t kFaResponseHeaderSize = 10;
inline constexpr std::uint32_t kFaMaxReadSize = 4096;
inline constexpr std::uint32_t kFaResponseBufferSize = kFaResponseHeaderSize + kFaMaxReadSize + kFaChecksumSize;

inline constexpr std::uint8_t FA_STATUS_OK = 0x00;
inline constexpr std::uint8_t FA_STATUS_SYNTAX_ERROR = 0x5E;
inline constexpr std::uint8_t FA_STATUS_ADDRESS_ERROR = 0xAE;
inline constexpr std::uint8_t FA_STATUS_CHECKSUM_ERROR = 0xCE;
inline constexpr std::uint8_t FA_STATUS_FLASH_OP_ERROR = 0xFE;

inline constexpr std::uint32_t kFlashChunkSize = 1024;   // one read or write
inline constexpr std::uint32_t kFlashSectorSize = 4096;  // one erase; the erase request's size field

// Timing of one command: attempts, each waiting this long for its response.
inline constexpr int kFaAttempts = 3;
inline constexpr std::uint32_t kFaResponseTimeoutMs = 2000;
