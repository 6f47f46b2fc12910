#pragma once
// Framing of what the pen sends: a 6-byte header, then the payload.
//   bytes 0..1  total packet length, little-endian
//   bytes 2..3  the pen's packet sequence number, little-endian (wraps)
//   bytes 4..5  packet type, little-endian
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace virtualpen {

using Packet = std::vector<std::uint8_t>;

Packet MakePacket(std::uint16_t type, std::uint16_t sequence, const std::uint8_t* payload,
                  std::size_t size);

// Type 0x0000: a zero-terminated text.
Packet MakeTextPacket(std::uint16_t sequence, const std::string& text);

// Type 0x5001 with an empty payload: the boot loader is running.
Packet MakeDfuAnnouncement(std::uint16_t sequence);

std::uint16_t PacketType(const Packet& packet);  // 0xFFFF for a packet shorter than its header

}  // namespace virtualpen
