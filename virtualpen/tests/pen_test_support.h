#pragma once
// Shared by the virtual pen's tests: a bus with scaled time, and the host's side
// of the flash-access protocol.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "afx/time_scale.h"
#include "virtualpen/flash_protocol.h"
#include "virtualpen/pen_layout.h"
#include "virtualpen/virtual_bus.h"

namespace virtualpen::testing {

using Bytes = std::vector<std::uint8_t>;

inline constexpr auto kPatience = std::chrono::seconds(10);  // real-time limit of waits that end when things work

inline void PutLittle(Bytes& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A request as the host sends it; a write carries `data` and its checksum.
inline Bytes Request(std::uint8_t command, std::uint32_t address, std::uint32_t size, const Bytes& data = {}) {
  Bytes request{kRequestMarker, command};
  PutLittle(request, address, 4);
  PutLittle(request, size, 2);
  if (command != kCommandWrite) return request;
  request.insert(request.end(), data.begin(), data.end());
  PutLittle(request, NegatedByteSum(data.data(), data.size()), 4);
  return request;
}
inline Bytes Write(std::uint32_t address, const Bytes& data) {
  return Request(kCommandWrite, address, static_cast<std::uint32_t>(data.size()), data);
}
inline Bytes Erase(std::uint32_t address) { return Request(kCommandErase, address, kSectorSize); }
inline const Bytes kIdentityRead = Request(kCommandRead, kIdentityBlockAddress, 16);

inline std::string TextOf(const Bytes& packet) {
  return packet.size() > kPacketHeaderSize ? reinterpret_cast<const char*>(packet.data() + kPacketHeaderSize) : "";
}

class PenTest : public ::testing::Test {
 protected:
  void SetUp() override { afx::SetTimeScale(0.001); }
  void TearDown() override {
    bus.reset();
    afx::SetTimeScale(1.0);
  }

  // Plugs a pen, opens it and takes the packets it greets the host with.
  std::shared_ptr<VirtualPen> PlugAndOpen(const PenOptions& options = {}) {
    auto pen = bus->PlugNewPen(options);
    Reopen(pen);
    return pen;
  }
  void Reopen(const std::shared_ptr<VirtualPen>& pen) {
    link = bus->Open();
    ASSERT_NE(link, nullptr);
    for (std::size_t n = pen->QueuedPackets(); n > 0; --n) Next();
  }

  // The next packet from the pen; empty when none comes within kPatience.
  Bytes Next() {
    Bytes buffer(1060);
    std::size_t received = 0;
    if (link->Receive(buffer.data(), buffer.size(), &received, kPatience) != PenLink::Result::Ok) return {};
    buffer.resize(received);
    return buffer;
  }
  // Sends a message and takes every packet the pen has queued for it.
  std::vector<Bytes> Answers(const Bytes& message) {
    EXPECT_EQ(link->Send(message.data(), message.size()), PenLink::Result::Ok);
    std::vector<Bytes> packets;
    for (std::size_t n = link->Pen()->QueuedPackets(); n > 0; --n) packets.push_back(Next());
    return packets;
  }
  std::uint8_t Status(const Bytes& request) { return Answers(request).at(0).at(8); }
  void Restart() { Answers({kRestartByte}); }

  std::unique_ptr<VirtualBus> bus = std::make_unique<VirtualBus>();
  std::shared_ptr<PenLink> link;
};

}  // namespace virtualpen::testing
