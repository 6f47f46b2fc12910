#pragma once
// Shared by the virtual pen's tests: a bus with scaled time, and the host's side
// of the flash-access protocol written out by hand.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "afx/time_scale.h"
#include "virtualpen/flash_protocol.h"
#include "virtualpen/pen_layout.h"
#include "virtualpen/virtual_bus.h"

namespace virtualpen::testing {

using Bytes = std::vector<std::uint8_t>;

// Real-time limit for waits on conditions; never reached when things work.
inline constexpr auto kPatience = std::chrono::seconds(10);

inline void PutLittle(Bytes& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline std::uint32_t GetLittle(const Bytes& in, std::size_t offset, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | in.at(offset + static_cast<std::size_t>(i));
  return value;
}

inline Bytes Header(std::uint8_t command, std::uint32_t address, std::uint16_t size) {
  Bytes request{kRequestMarker, command};
  PutLittle(request, address, 4);
  PutLittle(request, size, 2);
  return request;
}

inline Bytes ReadRequest(std::uint32_t address, std::uint16_t size) {
  return Header(kCommandRead, address, size);
}

inline Bytes EraseRequest(std::uint32_t address) { return Header(kCommandErase, address, 0x1000); }

inline Bytes WriteRequest(std::uint32_t address, const Bytes& data) {
  Bytes request = Header(kCommandWrite, address, static_cast<std::uint16_t>(data.size()));
  request.insert(request.end(), data.begin(), data.end());
  PutLittle(request, NegatedByteSum(data.data(), data.size()), 4);
  return request;
}

// A response packet taken apart.
struct Response {
  Bytes packet;
  std::uint16_t type = 0;
  std::uint8_t status = 0;
  std::uint8_t command = 0;
  std::uint32_t address = 0;
  std::uint16_t size = 0;
  Bytes data;
  bool checksumOk = false;
};

inline Response Parse(Bytes packet) {
  Response response;
  response.packet = std::move(packet);
  const Bytes& p = response.packet;
  if (p.size() >= 6) response.type = static_cast<std::uint16_t>(GetLittle(p, 4, 2));
  if (p.size() < 16) return response;
  response.status = p[8];
  response.command = p[9];
  response.address = GetLittle(p, 10, 4);
  response.size = static_cast<std::uint16_t>(GetLittle(p, 14, 2));
  if (p.size() >= 16u + response.size + 4u && response.size > 0) {
    response.data.assign(p.begin() + 16, p.begin() + 16 + response.size);
    std::uint32_t sum = GetLittle(p, 16u + response.size, 4);
    for (const auto byte : response.data) sum += byte;
    response.checksumOk = sum == 0;
  }
  return response;
}

inline std::string TextOf(const Bytes& packet) {
  if (packet.size() <= 6) return {};
  return std::string(reinterpret_cast<const char*>(packet.data() + 6));
}

// The next packet the pen sends; empty when none comes within kPatience.
inline Bytes NextPacket(PenLink& link) {
  Bytes buffer(1060);
  std::size_t received = 0;
  if (link.Receive(buffer.data(), buffer.size(), &received, kPatience) != PenLink::Result::Ok) return {};
  buffer.resize(received);
  return buffer;
}

class PenTest : public ::testing::Test {
 protected:
  void SetUp() override { afx::SetTimeScale(0.001); }
  void TearDown() override {
    bus.reset();
    afx::SetTimeScale(1.0);
  }

  // Plugs a pen, opens it and takes the packets it sends on plug-in.
  std::shared_ptr<VirtualPen> PlugAndOpen(const PenOptions& options = {}) {
    auto pen = bus->PlugNewPen(options);
    Reopen(pen);
    return pen;
  }

  void Reopen(const std::shared_ptr<VirtualPen>& pen) {
    link = bus->Open();
    ASSERT_NE(link, nullptr);
    const std::size_t greeting = pen->Mode() == PenMode::DfuMode ? 2 : 1;
    for (std::size_t i = 0; i < greeting; ++i) Next();
  }

  Bytes Next() { return NextPacket(*link); }

  Response Exchange(const Bytes& request) {
    EXPECT_EQ(link->Send(request.data(), request.size()), PenLink::Result::Ok);
    return Parse(Next());
  }

  void Restart() {
    const std::uint8_t restart = kRestartByte;
    ASSERT_EQ(link->Send(&restart, 1), PenLink::Result::Ok);
  }

  std::unique_ptr<VirtualBus> bus = std::make_unique<VirtualBus>();
  std::shared_ptr<PenLink> link;
};

}  // namespace virtualpen::testing
