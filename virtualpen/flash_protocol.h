#pragma once
// The flash-access protocol as the pen's firmware carries it out. Requests:
//   0xFA, command, address u32, size u16 [, data, checksum u32 (0 - sum of data)]
// Response payload (packet type 0x8001):
//   0xFA, 0x00, status, command, address u32, size u16 [, data, checksum u32]
// Tests are made in this order, the first that fails answers: syntax (0x5E),
// write checksum (0xCE), address (0xAE), programming (0xFE).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "virtualpen/flash_memory.h"

namespace virtualpen {

// Which region the running firmware executes from, and therefore may not change.
enum class RunningFirmware { Main, Dfu };

struct FlashResponse {
  std::uint8_t status = 0;
  std::uint8_t command = 0;    // echoed
  std::uint32_t address = 0;   // echoed
  std::uint16_t size = 0;      // echoed
  std::vector<std::uint8_t> data;  // a successful read only
  std::uint32_t checksum = 0;      // with data: the word that makes the sum 0
};

FlashResponse ExecuteFlashRequest(FlashMemory& flash, RunningFirmware running,
                                  const std::uint8_t* request, std::size_t length);

// The response payload; data and checksum are present only for a successful read.
std::vector<std::uint8_t> EncodeFlashResponse(const FlashResponse& response);

// 0 minus the sum of the bytes, modulo 2^32: a request's write checksum and a read
// response's checksum word alike.
std::uint32_t NegatedByteSum(const std::uint8_t* data, std::size_t size);

}  // namespace virtualpen
