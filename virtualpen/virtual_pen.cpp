#include "virtualpen/virtual_pen.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <stdexcept>

#include "afx/time_scale.h"
#include "firmware/image_generator.h"
#include "virtualpen/boot_loader.h"
#include "virtualpen/flash_protocol.h"

namespace virtualpen {
namespace {

constexpr std::uint32_t kChunkSize = 1024;

std::string DefaultSerial() {
  static std::atomic<unsigned> made{0};
  char serial[16];
  std::snprintf(serial, sizeof serial, "VPEN%04u", ++made);
  return serial;
}

// The shipped DFU image with 16 bytes of one chunk inverted. The change sits
// past the header, so that the image still boots.
std::vector<std::uint8_t> OlderDfuImage(int differingChunk) {
  auto image = firmware::GenerateDfuImage();
  if (differingChunk == kIdenticalDfu) return image;
  const std::size_t chunks = (image.size() + kChunkSize - 1) / kChunkSize;
  if (differingChunk < 0 || static_cast<std::size_t>(differingChunk) >= chunks) {
    throw std::invalid_argument("differing DFU chunk outside the image");
  }
  const std::size_t start = static_cast<std::size_t>(differingChunk) * kChunkSize + 100;
  for (std::size_t i = start; i < start + 16; ++i) image[i] = static_cast<std::uint8_t>(~image[i]);
  return image;
}

// Product milliseconds; a sum of huge settings means "forever", not a short wrap-around.
std::uint32_t Saturated(std::uint64_t milliseconds) {
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(milliseconds, UINT32_MAX));
}

std::uint64_t ProgramMilliseconds(std::uint32_t perKiB, std::uint32_t bytes) {
  return (std::uint64_t{perKiB} * bytes + kChunkSize - 1) / kChunkSize;
}

std::string VersionText(std::uint16_t bcd) {
  char text[16];
  std::snprintf(text, sizeof text, "%d.%02x", bcd >> 8, bcd & 0xFF);
  return text;
}

}  // namespace

VirtualPen::VirtualPen(const PenOptions& options)
    : BusDevice(options.serial.empty() ? DefaultSerial() : options.serial),
      m_productId(options.productId),
      m_timing(options.timing),
      m_restartDelayMs(options.restartDelayMs),
      m_reportedProductId(options.productId) {
  m_flash.Load(kIdentityBlockAddress, options.identityBlock.data(), options.identityBlock.size());
  if (!options.startInDfuMode) {
    const std::uint8_t bootMain[4] = {0x00, 0x80, 0x02, 0x80};
    m_flash.Load(kBootControlAddress, bootMain, sizeof bootMain);
  }
  const auto dfu = OlderDfuImage(options.differingDfuChunk);
  m_flash.Load(kDfuRegionStart, dfu.data(), dfu.size());
  const auto main = firmware::GenerateMainImage(options.mainMajor, options.mainMinor);
  m_flash.Load(kMainRegionStart, main.data(), main.size());
}

std::uint64_t BusyMilliseconds(const PenTiming& timing, const FlashResponse& response) {
  std::uint64_t busyMs = timing.latencyMs;
  if (response.status == kStatusOk && response.command == kCommandErase) {
    busyMs += timing.eraseMsPerSector;
  } else if (response.status == kStatusOk && response.command == kCommandWrite) {
    busyMs += ProgramMilliseconds(timing.programMsPerKiB, response.size);
  }
  return busyMs;
}

std::string VirtualPen::InterfaceNameLocked() const {
  const std::uint16_t productId = m_mode == PenMode::Off ? m_productId : m_reportedProductId;
  char prefix[40];
  std::snprintf(prefix, sizeof prefix, "\\\\?\\USB#VID_%04X&PID_%04X#", kPenVendorId, productId);
  return prefix + m_serial + "#{a165badf-6e6a-4126-85c1-bfbe09014345}";
}

PenMode VirtualPen::Mode() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_mode;
}

DeviceDescriptor VirtualPen::DescriptorLocked() const {
  return MakeDeviceDescriptor(kPenVendorId, m_reportedProductId, m_bcdDevice);
}

std::uint64_t VirtualPen::ModelMilliseconds() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_modelMs;
}

std::uint32_t VirtualPen::RequestCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_requests;
}

std::uint32_t VirtualPen::RestartCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_restarts;
}

std::vector<std::uint8_t> VirtualPen::ReadFlash(std::uint32_t address, std::size_t size) const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_flash.Read(address, size);
}

bool VirtualPen::LoadFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_flash.Load(address, bytes.data(), bytes.size());
}

void VirtualPen::SetTiming(const PenTiming& timing) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_timing = timing;
}

void VirtualPen::SetRestartDelay(std::uint32_t milliseconds) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_restartDelayMs = milliseconds;
}

void VirtualPen::SetFunctionButtonHeld(bool held) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_functionButtonHeld = held;
}

void VirtualPen::AddFault(const RequestFault& fault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.Add(fault, m_requests);
}

void VirtualPen::AddFault(const RestartFault& fault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.Add(fault, m_restarts);
}

void VirtualPen::AddFault(const HoldFault& fault) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.Add(fault, fault.transfer == HeldTransfer::Send ? m_sends : m_descriptorReads);
}

void VirtualPen::ClearFaults() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_faults.Clear();
}

bool VirtualPen::BootLocked(bool functionButton, const BootOverrides& overrides) {
  const BootTarget target = ChooseBootTarget(m_flash, functionButton || m_functionButtonHeld);
  if (target == BootTarget::NoFirmware) return false;
  EnterBusLocked();
  m_mode = target == BootTarget::MainFirmware ? PenMode::MainFirmware : PenMode::DfuMode;
  m_reportedProductId = overrides.productId.value_or(m_productId);
  // The boot loader has no version of its own to report.
  m_bcdDevice = m_mode == PenMode::MainFirmware ? MainFirmwareVersion(m_flash) : 0x0000;
  m_sequence = 0;
  const auto now = Clock::now();
  m_busyUntil = now;
  if (m_mode == PenMode::MainFirmware) {
    QueueLocked(MakeTextPacket(NextSequenceLocked(), "Pen ready: firmware " + VersionText(m_bcdDevice)),
                now);
  } else {
    QueueLocked(MakeTextPacket(NextSequenceLocked(), "Pen ready: boot loader"), now);
    if (!overrides.noDfuAnnouncement) QueueLocked(MakeDfuAnnouncement(NextSequenceLocked()), now);
  }
  return true;
}

void VirtualPen::LeaveBusLocked() {
  m_mode = PenMode::Off;
  m_bcdDevice = 0;
  BusDevice::LeaveBusLocked();
}

VirtualPen::Outcome VirtualPen::HandleMessageLocked(const std::uint8_t* data, std::size_t size,
                                                    BootOverrides& next) {
  if (size == 0) return Outcome::None;
  if (size == 1 && data[0] == kRestartByte) {
    ++m_restarts;
    next.delayMs = m_restartDelayMs;
    for (const RestartFault& fault : m_faults.TakeForRestart(m_restarts)) {
      switch (fault.kind) {
        case RestartFaultKind::NeverReturn:
          next.neverReturn = true;
          break;
        case RestartFaultKind::NoDfuAnnouncement:
          next.noDfuAnnouncement = true;
          break;
        case RestartFaultKind::ForeignProduct:
          next.productId = fault.productId;
          break;
      }
    }
    return Outcome::Restart;
  }
  if (size == 1 && data[0] == kDebugByte) {
    char text[96];
    std::snprintf(text, sizeof text, "Debug: %s, %u requests, %u restarts",
                  m_mode == PenMode::DfuMode ? "boot loader" : "main firmware", m_requests, m_restarts);
    QueueLocked(MakeTextPacket(NextSequenceLocked(), text), Clock::now());
    return Outcome::None;
  }
  const auto faults = m_faults.TakeForRequest(++m_requests);
  for (const RequestFault& fault : faults) {
    if (fault.kind == RequestFaultKind::UnplugAtRequest) return Outcome::Unplug;
    if (fault.kind == RequestFaultKind::SuspendAtRequest) {
      next.delayMs = fault.value;
      return Outcome::Suspend;
    }
  }
  HandleFlashRequestLocked(data, size, faults);
  return Outcome::None;
}

std::optional<HoldFault> VirtualPen::HoldsTransferLocked(HeldTransfer transfer) {
  return m_faults.TakeForTransfer(transfer, transfer == HeldTransfer::Send ? ++m_sends : ++m_descriptorReads);
}

void VirtualPen::HandleFlashRequestLocked(const std::uint8_t* data, std::size_t size,
                                          const std::vector<RequestFault>& faults) {
  const RunningFirmware running =
      m_mode == PenMode::DfuMode ? RunningFirmware::Dfu : RunningFirmware::Main;
  FlashResponse response = ExecuteFlashRequest(m_flash, running, data, size);

  const std::uint64_t busyMs = BusyMilliseconds(m_timing, response);

  const ResponseEffects effects = ApplyRequestFaults(faults, response);
  const auto payload = EncodeFlashResponse(response);
  Packet packet = MakePacket(kPacketFlashResponse, NextSequenceLocked(), payload.data(), payload.size());
  if (effects.truncate && effects.truncateTo < packet.size()) packet.resize(effects.truncateTo);

  m_modelMs += busyMs + effects.delayMs;
  const auto readyAt =
      std::max(Clock::now(), m_busyUntil) + afx::Scaled(Saturated(busyMs + effects.delayMs));
  m_busyUntil = readyAt;
  if (effects.drop) return;
  for (int copy = 0; copy < effects.copies; ++copy) QueueLocked(packet, readyAt);
}

}  // namespace virtualpen
