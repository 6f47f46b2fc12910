#include "virtualpen/flash_protocol.h"

#include "virtualpen/pen_layout.h"

namespace virtualpen {
namespace {

std::uint32_t ReadLittle(const std::uint8_t* p, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void PutLittle(std::vector<std::uint8_t>& out, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

bool Overlaps(std::uint32_t address, std::uint32_t size, std::uint32_t start, std::uint32_t end) {
  return address < end && start < address + size;
}

// Where the protocol may change flash: not the boot ROM and identity block below
// 0x7000, and not the region the running code executes from.
bool MayChange(RunningFirmware running, std::uint32_t address, std::uint32_t size) {
  if (!FlashMemory::Contains(address, size) || address < kBootControlAddress) return false;
  if (running == RunningFirmware::Dfu) return !Overlaps(address, size, kDfuRegionStart, kDfuRegionEnd);
  return !Overlaps(address, size, kMainRegionStart, kMainRegionEnd);
}

std::uint8_t Read(FlashMemory& flash, FlashResponse& response, std::size_t length) {
  if (length != kRequestHeaderSize || response.size == 0 || response.size > kMaxReadSize) {
    return kStatusSyntaxError;
  }
  if (!FlashMemory::Contains(response.address, response.size)) return kStatusAddressError;
  response.data = flash.Read(response.address, response.size);
  response.checksum = NegatedByteSum(response.data.data(), response.data.size());
  return kStatusOk;
}

std::uint8_t Erase(FlashMemory& flash, RunningFirmware running, const FlashResponse& response,
                   std::size_t length) {
  if (length != kRequestHeaderSize || response.size != kSectorSize) return kStatusSyntaxError;
  if (response.address % kSectorSize != 0 || !MayChange(running, response.address, kSectorSize)) {
    return kStatusAddressError;
  }
  return flash.EraseSector(response.address) ? kStatusOk : kStatusFlashOpError;
}

std::uint8_t Write(FlashMemory& flash, RunningFirmware running, const FlashResponse& response,
                   const std::uint8_t* request, std::size_t length) {
  const std::uint32_t size = response.size;
  if (size == 0 || size > kMaxWriteSize || length != kRequestHeaderSize + size + 4) {
    return kStatusSyntaxError;
  }
  const std::uint8_t* data = request + kRequestHeaderSize;
  if (NegatedByteSum(data, size) != ReadLittle(data + size, 4)) return kStatusChecksumError;
  if (!MayChange(running, response.address, size)) return kStatusAddressError;
  return flash.Program(response.address, data, size) ? kStatusOk : kStatusFlashOpError;
}

}  // namespace

std::uint32_t NegatedByteSum(const std::uint8_t* data, std::size_t size) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < size; ++i) sum += data[i];
  return 0u - sum;
}

FlashResponse ExecuteFlashRequest(FlashMemory& flash, RunningFirmware running,
                                  const std::uint8_t* request, std::size_t length) {
  FlashResponse response;
  // Echo whatever the request carries, also for a malformed one.
  if (length >= 2) response.command = request[1];
  if (length >= 6) response.address = ReadLittle(request + 2, 4);
  if (length >= 8) response.size = static_cast<std::uint16_t>(ReadLittle(request + 6, 2));

  if (length < kRequestHeaderSize || request[0] != kRequestMarker) {
    response.status = kStatusSyntaxError;
  } else if (response.command == kCommandRead) {
    response.status = Read(flash, response, length);
  } else if (response.command == kCommandErase) {
    response.status = Erase(flash, running, response, length);
  } else if (response.command == kCommandWrite) {
    response.status = Write(flash, running, response, request, length);
  } else {
    response.status = kStatusSyntaxError;
  }
  return response;
}

std::vector<std::uint8_t> EncodeFlashResponse(const FlashResponse& response) {
  std::vector<std::uint8_t> payload;
  payload.reserve(kResponseHeaderSize + response.data.size() + 4);
  payload.push_back(kRequestMarker);
  payload.push_back(0x00);
  payload.push_back(response.status);
  payload.push_back(response.command);
  PutLittle(payload, response.address, 4);
  PutLittle(payload, response.size, 2);
  if (!response.data.empty()) {
    payload.insert(payload.end(), response.data.begin(), response.data.end());
    PutLittle(payload, response.checksum, 4);
  }
  return payload;
}

}  // namespace virtualpen
