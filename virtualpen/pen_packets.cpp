#include "virtualpen/pen_packets.h"

#include "virtualpen/pen_layout.h"

namespace virtualpen {

Packet MakePacket(std::uint16_t type, std::uint16_t sequence, const std::uint8_t* payload,
                  std::size_t size) {
  const std::size_t length = kPacketHeaderSize + size;
  Packet packet;
  packet.reserve(length);
  packet.push_back(static_cast<std::uint8_t>(length & 0xFF));
  packet.push_back(static_cast<std::uint8_t>((length >> 8) & 0xFF));
  packet.push_back(static_cast<std::uint8_t>(sequence & 0xFF));
  packet.push_back(static_cast<std::uint8_t>(sequence >> 8));
  packet.push_back(static_cast<std::uint8_t>(type & 0xFF));
  packet.push_back(static_cast<std::uint8_t>(type >> 8));
  if (size > 0) packet.insert(packet.end(), payload, payload + size);
  return packet;
}

Packet MakeTextPacket(std::uint16_t sequence, const std::string& text) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.c_str());
  return MakePacket(kPacketText, sequence, bytes, text.size() + 1);
}

Packet MakeDfuAnnouncement(std::uint16_t sequence) {
  return MakePacket(kPacketDfuMode, sequence, nullptr, 0);
}

std::uint16_t PacketType(const Packet& packet) {
  if (packet.size() < kPacketHeaderSize) return 0xFFFF;
  return static_cast<std::uint16_t>(packet[4] | packet[5] << 8);
}

}  // namespace virtualpen
