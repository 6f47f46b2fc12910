#pragma once
// Packets from the pen, as one receive transfer delivers them: a 6-byte header
// whose bytes 4 and 5 hold the little-endian type word, then the payload.
#include <cstdint>

inline constexpr std::uint32_t kPacketHeaderSize = 6;
inline constexpr std::uint32_t kPacketTypeOffset = 4;

inline constexpr std::uint16_t PACKET_TEXT = 0x0000;            // zero-terminated text; discarded
inline constexpr std::uint16_t PACKET_DFU_MODE = 0x5001;        // the pen came up in DFU mode
inline constexpr std::uint16_t PACKET_FLASH_RESPONSE = 0x8001;  // payload is a flash-access response

// Type word of a packet of at least kPacketHeaderSize bytes.
inline std::uint16_t PacketType(const std::uint8_t* packet) {
  return static_cast<std::uint16_t>(packet[kPacketTypeOffset] | (packet[kPacketTypeOffset + 1] << 8));
}
