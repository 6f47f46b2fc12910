#pragma once
// Wire format of the flash-access protocol. Requests and responses are
// byte-packed and little-endian; they are built and parsed byte by byte, never
// through a struct overlay.
#include <cstdint>

// Request: marker, command, address (4), size (2) [, data (size), checksum (4)].
inline constexpr std::uint8_t FA_REQUEST_MARKER = 0xFA;
inline constexpr std::uint32_t FA_REQUEST_HEADER_SIZE = 8;
inline constexpr std::uint32_t FA_CHECKSUM_SIZE = 4;
inline constexpr std::uint32_t FA_MAX_WRITE_SIZE = 2048;
inline constexpr std::uint32_t FA_REQUEST_BUFFER_SIZE = FA_REQUEST_HEADER_SIZE + FA_MAX_WRITE_SIZE + FA_CHECKSUM_SIZE;

inline constexpr std::uint8_t FA_CMD_FLASH_READ = 0xF0;
inline constexpr std::uint8_t FA_CMD_FLASH_WRITE = 0xF8;
inline constexpr std::uint8_t FA_CMD_FLASH_ERASE = 0xFE;

// Response: two unexamined bytes, status, echoed command, address (4), size (2)
// [, data (size), checksum (4) for reads].
inline constexpr std::uint32_t FA_RESPONSE_STATUS_OFFSET = 2;
inline constexpr std::uint32_t FA_RESPONSE_COMMAND_OFFSET = 3;
inline constexpr std::uint32_t FA_RESPONSE_ADDRESS_OFFSET = 4;
inline constexpr std::uint32_t FA_RESPONSE_SIZE_OFFSET = 8;
inline constexpr std::uint32_t FA_RESPONSE_HEADER_SIZE = 10;
inline constexpr std::uint32_t FA_MAX_READ_SIZE = 4096;
inline constexpr std::uint32_t FA_RESPONSE_BUFFER_SIZE = FA_RESPONSE_HEADER_SIZE + FA_MAX_READ_SIZE + FA_CHECKSUM_SIZE;

inline constexpr std::uint8_t FA_STATUS_OK = 0x00;
inline constexpr std::uint8_t FA_STATUS_SYNTAX_ERROR = 0x5E;
inline constexpr std::uint8_t FA_STATUS_ADDRESS_ERROR = 0xAE;
inline constexpr std::uint8_t FA_STATUS_CHECKSUM_ERROR = 0xCE;
inline constexpr std::uint8_t FA_STATUS_FLASH_OP_ERROR = 0xFE;

inline constexpr std::uint32_t FLASH_CHUNK_SIZE = 1024;   // one read or write
inline constexpr std::uint32_t FLASH_SECTOR_SIZE = 4096;  // one erase; the erase request's size field

// Timing of one command: attempts, each waiting this long for its response.
inline constexpr int FA_ATTEMPTS = 3;
inline constexpr std::uint32_t FA_RESPONSE_TIMEOUT_MS = 2000;
