#pragma once
// A small pen model for the engine's unit tests: NOR-like flash that answers
// flash-access requests, and a boot decision at each restart. The end-to-end
// tests use the real virtual pen instead.
#include <cstdint>
#include <functional>
#include <vector>

namespace testpen {

inline constexpr std::uint32_t kFlashSize = 512 * 1024;

struct Request {
  std::uint8_t command = 0;
  std::uint32_t address = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;  // writes only
};

// Decodes a request as the engine sent it.
Request Decode(const std::vector<std::uint8_t>& bytes);

// A response payload as the pen would send it; reads carry `data` and a checksum.
std::vector<std::uint8_t> MakeResponse(std::uint8_t status, std::uint8_t command, std::uint32_t address,
                                       std::uint32_t size, const std::vector<std::uint8_t>& data = {});

class FakePen {
 public:
  // Erased flash with a valid identity block, running its main firmware.
  FakePen();

  // The response to one request, carrying the command out on the flash.
  std::vector<std::uint8_t> Answer(const std::vector<std::uint8_t>& request);

  // Boots by the boot-control word: erased means DFU mode.
  void Restart();

  void Load(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  std::vector<std::uint8_t> Read(std::uint32_t address, std::uint32_t size) const;

  std::vector<std::uint8_t> flash;
  bool dfuMode = false;
  // Writes for which this is true are acknowledged but not programmed.
  std::function<bool(std::uint32_t address)> losesWrite;
};

}  // namespace testpen
