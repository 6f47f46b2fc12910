// The flash-access protocol: building requests, the timed exchange, and the
// checks a response must pass.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/firmware_upgrader.h"
#include "engine/pen_packet.h"
#include "usb/pen_channel.h"

namespace {

// A read's answer must come in one receive transfer, packet header around it. The
// protocol allows reads of kFaMaxReadSize, whose answers (4,116 bytes) one
// receive (1,060) cannot carry, so the tool reads a chunk at most.
constexpr std::uint32_t ReadAnswerPacketSize(std::uint32_t size) {
  return kPacketHeaderSize + kFaResponseHeaderSize + size + kFaChecksumSize;
}
static_assert(ReadAnswerPacketSize(kFlashChunkSize) <= kPenReceiveBufferSize,
              "a chunk's read answer must fit one receive transfer");
static_assert(kHeaderReadSize <= kFlashChunkSize && kIdentityBlockSize <= kFlashChunkSize,
              "the tool reads a chunk at most");
static_assert(kFlashChunkSize <= kFaMaxReadSize && kFlashChunkSize <= kFaMaxWriteSize,
              "a chunk is one request");

// The wire's numbers: `width` bytes, least significant first.
void PutLittleEndian(std::uint8_t* at, std::uint32_t value, int width) {
  for (int i = 0; i < width; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian(const std::uint8_t* at, int width) {
  std::uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | at[i];
  return value;
}

// Header shared by all three requests; the size field is 16 bits wide on the wire.
void PutRequestHeader(std::uint8_t* request, std::uint8_t command, std::uint32_t address, std::uint32_t size) {
  request[0] = kFaRequestMarker;
  request[1] = command;
  PutLittleEndian(request + 2, address, 4);
  PutLittleEndian(request + 6, size, 2);
}

}  // namespace

const char* FirmwareUpgrader::StatusName(std::uint8_t status) {
  switch (status) {
    case FA_STATUS_OK: return "FA_STATUS_OK";
    case FA_STATUS_SYNTAX_ERROR: return "FA_STATUS_SYNTAX_ERROR";
    case FA_STATUS_ADDRESS_ERROR: return "FA_STATUS_ADDRESS_ERROR";
    case FA_STATUS_CHECKSUM_ERROR: return "FA_STATUS_CHECKSUM_ERROR";
    case FA_STATUS_FLASH_OP_ERROR: return "FA_STATUS_FLASH_OP_ERROR";
    default: return "??";
  }
}

const char* FirmwareUpgrader::CommandName(std::uint8_t command) {
  switch (command) {
    case FA_CMD_FLASH_READ: return "FA_CMD_FLASH_READ";
    case FA_CMD_FLASH_WRITE: return "FA_CMD_FLASH_WRITE";
    case FA_CMD_FLASH_ERASE: return "FA_CMD_FLASH_ERASE";
    default: return "??";
  }
}

void FirmwareUpgrader::DeliverResponse(const std::uint8_t* payload, std::uint32_t length) {
  CSingleLock lock(&upgraderLock, TRUE);
  // Nobody is waiting: an answer to a command that gave up, or left from an earlier run.
  if (!awaitingAnswer) return;
  // Another copy of the last command's answer (a late answer to one of its
  // attempts, or one sent twice): that command has had its answer.
  if (length >= kFaResponseHeaderSize && hasAnswered) {
    const RequestEcho echo = EchoOfResponse(payload);
    if (echo == answeredEcho && !(echo == awaitedEcho)) return;
  }
  awaitingAnswer = false;
  answeredEcho = awaitedEcho;
  hasAnswered = true;
  responseLength = std::min(length, kFaResponseBufferSize);
  if (responseLength > 0) std::memcpy(response, payload, responseLength);
  responseSignal.SetEvent();
}

void FirmwareUpgrader::ReadFlash(std::uint32_t address, std::uint32_t size) {
  std::uint8_t request[kFaRequestHeaderSize];
  PutRequestHeader(request, FA_CMD_FLASH_READ, address, size);
  Exchange(request, sizeof request, "No response to flash read command");

  CSingleLock lock(&upgraderLock, TRUE);
  CheckResponse(FA_CMD_FLASH_READ, address, size);
  std::uint32_t sum = HeldWord(kFaResponseHeaderSize + size);
  for (std::uint32_t i = 0; i < size; ++i) sum += response[kFaResponseHeaderSize + i];
  if (sum != 0) throw UpgradeToolException("Checksum error in read response");
}

void FirmwareUpgrader::WriteFlash(const std::vector<std::uint8_t>& image, std::uint32_t offset,
                                  std::uint32_t length, std::uint32_t address) {
  // Nothing to cut a slice from, or more than one request can carry: refuse
  // before anything reaches the pen.
  if (offset >= image.size() || length > kFaMaxWriteSize) {
    throw UpgradeToolException("Bad offset or length for flash write");
  }
  length = static_cast<std::uint32_t>(std::min<std::size_t>(length, image.size() - offset));

  std::uint8_t request[kFaRequestBufferSize];
  PutRequestHeader(request, FA_CMD_FLASH_WRITE, address, length);
  std::memcpy(request + kFaRequestHeaderSize, image.data() + offset, length);
  std::uint32_t sum = 0;
  for (std::uint32_t i = 0; i < length; ++i) sum += image[offset + i];
  PutLittleEndian(request + kFaRequestHeaderSize + length, 0u - sum, 4);
  Exchange(request, kFaRequestHeaderSize + length + kFaChecksumSize, "No response to flash write command");

  CSingleLock lock(&upgraderLock, TRUE);
  CheckResponse(FA_CMD_FLASH_WRITE, address, length);
}

void FirmwareUpgrader::EraseFlashSector(std::uint32_t address) {
  std::uint8_t request[kFaRequestHeaderSize];
  PutRequestHeader(request, FA_CMD_FLASH_ERASE, address, kFlashSectorSize);
  Exchange(request, sizeof request, "No response to flash erase command");

  CSingleLock lock(&upgraderLock, TRUE);
  CheckResponse(FA_CMD_FLASH_ERASE, address, kFlashSectorSize);
}

// Sends the request until its answer arrives. Only a missing answer is retried,
// and whichever attempt's answer comes first is the command's: a late answer to
// an earlier attempt carries the same echo as the current one's.
void FirmwareUpgrader::Exchange(const std::uint8_t* request, std::uint32_t requestLength,
                                const char* noResponseText) {
  {
    CSingleLock lock(&upgraderLock, TRUE);
    awaitedEcho = RequestEcho{request[1], GetLittleEndian(request + 2, 4), GetLittleEndian(request + 6, 2)};
    awaitingAnswer = true;
    responseSignal.ResetEvent();
  }
  for (int attempt = 0; attempt < kFaAttempts; ++attempt) {
    const HANDLE handle = driverHandle.load();
    if (handle == nullptr) break;
    // A failed send shows up as a missing response. One that the driver held
    // until the channel gave up has taken an attempt's time already: send again.
    if (WritePenData(handle, request, requestLength) == kRequestTimeoutResult) continue;
    if (responseSignal.Lock(kFaResponseTimeoutMs)) return;
  }
  CSingleLock lock(&upgraderLock, TRUE);
  if (!awaitingAnswer) return;  // answered just as the last wait ran out
  awaitingAnswer = false;
  if (driverHandle.load() == nullptr) throw UpgradeToolException("No handle to USB driver");
  throw UpgradeToolException(noResponseText);
}

FirmwareUpgrader::RequestEcho FirmwareUpgrader::EchoOfResponse(const std::uint8_t* payload) {
  return RequestEcho{payload[kFaResponseCommandOffset], GetLittleEndian(payload + kFaResponseAddressOffset, 4),
                     GetLittleEndian(payload + kFaResponseSizeOffset, 2)};
}

void FirmwareUpgrader::CheckResponse(std::uint8_t command, std::uint32_t address, std::uint32_t size) {
  // A delivery shorter than the header leaves older bytes in the buffer: judge
  // none of them.
  if (responseLength < kFaResponseHeaderSize) throw UpgradeToolException("Bad address or size in response");
  const std::uint8_t status = response[kFaResponseStatusOffset];
  if (status != FA_STATUS_OK) {
    throw UpgradeToolException(std::string(CommandName(command)) + " failed: " + StatusName(status));
  }
  if (response[kFaResponseCommandOffset] != command) throw UpgradeToolException("Command response out of sync");
  const std::uint32_t echoedAddress = HeldWord(kFaResponseAddressOffset);
  const std::uint32_t echoedSize = GetLittleEndian(response + kFaResponseSizeOffset, 2);
  if (echoedAddress != address || echoedSize != size) throw UpgradeToolException("Bad address or size in response");
  // A read response must hold the data and checksum it announces.
  if (command == FA_CMD_FLASH_READ &&
      responseLength < kFaResponseHeaderSize + static_cast<std::uint64_t>(size) + kFaChecksumSize) {
    throw UpgradeToolException("Bad address or size in response");
  }
}

std::uint32_t FirmwareUpgrader::HeldDataSize() const {
  if (responseLength < kFaResponseHeaderSize) return 0;
  const std::uint32_t announced = GetLittleEndian(response + kFaResponseSizeOffset, 2);
  return std::min(announced, responseLength - kFaResponseHeaderSize);
}

std::uint32_t FirmwareUpgrader::HeldWord(std::uint32_t offset) const {
  return GetLittleEndian(response + offset, 4);
}
