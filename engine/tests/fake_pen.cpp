#include "engine/tests/fake_pen.h"

#include <algorithm>

#include "engine/flash_access_protocol.h"
#include "engine/flash_layout.h"

namespace testpen {
namespace {

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, std::size_t at, int width) {
  std::uint32_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<std::uint32_t>(bytes[at + i]) << (8 * i);
  return value;
}

void Append(std::vector<std::uint8_t>& bytes, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

}  // namespace

Request Decode(const std::vector<std::uint8_t>& bytes) {
  Request request;
  if (bytes.size() < FA_REQUEST_HEADER_SIZE) return request;
  request.command = bytes[1];
  request.address = Word(bytes, 2, 4);
  request.size = Word(bytes, 6, 2);
  if (request.command == FA_CMD_FLASH_WRITE && bytes.size() >= FA_REQUEST_HEADER_SIZE + request.size) {
    request.data.assign(bytes.begin() + FA_REQUEST_HEADER_SIZE,
                        bytes.begin() + FA_REQUEST_HEADER_SIZE + request.size);
  }
  return request;
}

std::vector<std::uint8_t> MakeResponse(std::uint8_t status, std::uint8_t command, std::uint32_t address,
                                       std::uint32_t size, const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> response = {0x00, 0x00, status, command};
  Append(response, address, 4);
  Append(response, size, 2);
  if (command == FA_CMD_FLASH_READ && status == FA_STATUS_OK) {
    std::uint32_t sum = 0;
    for (auto byte : data) sum += byte;
    response.insert(response.end(), data.begin(), data.end());
    Append(response, 0u - sum, 4);
  }
  return response;
}

FakePen::FakePen() : flash(kFlashSize, 0xFF) {
  Load(IDENTITY_BLOCK_ADDRESS, {0x66, 0x01, 0x10, 0x20, 0x30, 0x40, 0x77, 0x11, 0x22, 0x33, 0x88, 0x44, 0x55, 0x66,
                                0x77, 0x99});
  Load(BOOT_CONTROL_ADDRESS, {0x00, 0x80, 0x02, 0x80});
}

std::vector<std::uint8_t> FakePen::Answer(const std::vector<std::uint8_t>& bytes) {
  const Request request = Decode(bytes);
  if (bytes.size() < FA_REQUEST_HEADER_SIZE || bytes[0] != FA_REQUEST_MARKER) {
    return MakeResponse(FA_STATUS_SYNTAX_ERROR, request.command, request.address, request.size);
  }
  switch (request.command) {
    case FA_CMD_FLASH_READ:
      if (request.address + request.size > kFlashSize) break;
      return MakeResponse(FA_STATUS_OK, request.command, request.address, request.size,
                          Read(request.address, request.size));
    case FA_CMD_FLASH_WRITE: {
      if (request.address + request.size > kFlashSize) break;
      std::uint32_t sum = Word(bytes, FA_REQUEST_HEADER_SIZE + request.size, 4);
      for (auto byte : request.data) sum += byte;
      if (sum != 0) return MakeResponse(FA_STATUS_CHECKSUM_ERROR, request.command, request.address, request.size);
      if (!losesWrite || !losesWrite(request.address)) {
        for (std::uint32_t i = 0; i < request.size; ++i) flash[request.address + i] &= request.data[i];
      }
      return MakeResponse(FA_STATUS_OK, request.command, request.address, request.size);
    }
    case FA_CMD_FLASH_ERASE:
      if (request.address % FLASH_SECTOR_SIZE != 0 || request.address >= kFlashSize) break;
      std::fill_n(flash.begin() + request.address, FLASH_SECTOR_SIZE, 0xFF);
      return MakeResponse(FA_STATUS_OK, request.command, request.address, request.size);
    default:
      return MakeResponse(FA_STATUS_SYNTAX_ERROR, request.command, request.address, request.size);
  }
  return MakeResponse(FA_STATUS_ADDRESS_ERROR, request.command, request.address, request.size);
}

void FakePen::Restart() {
  dfuMode = Read(BOOT_CONTROL_ADDRESS, 4) != std::vector<std::uint8_t>{0x00, 0x80, 0x02, 0x80};
}

void FakePen::Load(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::copy(bytes.begin(), bytes.end(), flash.begin() + address);
}

std::vector<std::uint8_t> FakePen::Read(std::uint32_t address, std::uint32_t size) const {
  return {flash.begin() + address, flash.begin() + address + size};
}

}  // namespace testpen
