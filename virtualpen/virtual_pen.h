#pragma once
// One virtual pen: its flash, boot loader, flash-access firmware, USB descriptor,
// outgoing packet queue, timing and injected faults. Every public method is
// thread-safe and may be called at any time. Host traffic reaches the pen only
// through a VirtualBus (PenLink); settings that concern booting apply at its next boot.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "virtualpen/bus_device.h"
#include "virtualpen/flash_memory.h"
#include "virtualpen/pen_faults.h"

namespace virtualpen {

enum class PenMode { Off, MainFirmware, DfuMode };

// Product time in milliseconds (scaled by afx::SetTimeScale); all zero by default.
struct PenTiming {
  std::uint32_t latencyMs = 0;         // per request, before its response is ready
  std::uint32_t eraseMsPerSector = 0;  // per successful erase
  std::uint32_t programMsPerKiB = 0;   // per successful write, pro rata
};

// A pen as slow as the real one: 1 ms per exchange, 25 ms per 4 KiB sector erased,
// 2 ms per KiB programmed.
inline constexpr PenTiming kRealisticTiming = {1, 25, 2};

// Product milliseconds the pen is busy with one request before `response` is
// ready (injected delays not included).
std::uint64_t BusyMilliseconds(const PenTiming& timing, const FlashResponse& response);

using IdentityBlock = std::array<std::uint8_t, 16>;

// Serial magic 0x66, sensor data present (byte 1), settings magic 0x77, cut magic 0x88.
inline constexpr IdentityBlock kValidIdentityBlock = {0x66, 0x01, 0x00, 0x00, 0x12, 0x34, 0x77, 0x00,
                                                      0x00, 0x00, 0x88, 0x00, 0x00, 0x00, 0x00, 0x00};
// The same with another serial number in bytes 2 to 5 (little-endian): a
// different pen of the product.
constexpr IdentityBlock IdentityBlockWithSerialNumber(std::uint32_t serial) {
  IdentityBlock block = kValidIdentityBlock;
  for (int i = 0; i < 4; ++i) block[2 + i] = static_cast<std::uint8_t>(serial >> (8 * i));
  return block;
}
inline constexpr int kIdenticalDfu = -1;

struct PenOptions {
  std::string serial;                        // empty: "VPEN0001", "VPEN0002", ... in order of making
  std::uint16_t productId = 0x0204;
  std::uint8_t mainMajor = 3;                // the preloaded main firmware: 3.10 unless told
  std::uint8_t mainMinor = 0x10;
  bool startInDfuMode = false;               // boot-control sector erased
  int differingDfuChunk = 7;                 // the 1,024-byte DFU chunk (0..33) that differs from
                                             // the shipped image, or kIdenticalDfu
  IdentityBlock identityBlock = kValidIdentityBlock;
  PenTiming timing;
  std::uint32_t restartDelayMs = 1000;       // from leaving the bus to coming back
};

class VirtualPen : public BusDevice {
 public:
  // Throws std::invalid_argument for a differing DFU chunk outside the image.
  explicit VirtualPen(const PenOptions& options = {});

  // Its interface is \\?\USB#VID_1D50&PID_xxxx#<serial>#{a165badf-...}, with the product
  // id it reports now (the configured one while it is off the bus); its descriptor
  // has bcdDevice 0x0000 in DFU mode.
  PenMode Mode() const;
  std::uint32_t RequestCount() const;
  // Product milliseconds the timing model has charged for requests so far
  // (latency, erase and program times, injected delays): what a benchmark
  // compares the wall time of an upgrade with.
  std::uint64_t ModelMilliseconds() const;
  std::uint32_t RestartCount() const;

  std::vector<std::uint8_t> ReadFlash(std::uint32_t address, std::size_t size) const;
  // Factory programming, without the NOR rules. False outside the flash.
  bool LoadFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes);

  void SetTiming(const PenTiming& timing);
  void SetRestartDelay(std::uint32_t milliseconds);
  void SetFunctionButtonHeld(bool held);  // held through every boot until released

  void AddFault(const RequestFault& fault);
  void AddFault(const RestartFault& fault);
  void AddFault(const HoldFault& fault);
  void ClearFaults();

 private:
  // The rest runs with m_mutex held.
  std::string InterfaceNameLocked() const override;
  DeviceDescriptor DescriptorLocked() const override;
  bool BootLocked(bool functionButton, const BootOverrides& overrides) override;
  void LeaveBusLocked() override;
  Outcome HandleMessageLocked(const std::uint8_t* data, std::size_t size, BootOverrides& next) override;
  std::optional<HoldFault> HoldsTransferLocked(HeldTransfer transfer) override;
  void HandleFlashRequestLocked(const std::uint8_t* data, std::size_t size,
                                const std::vector<RequestFault>& faults);
  std::uint16_t NextSequenceLocked() { return m_sequence++; }

  FlashMemory m_flash;
  FaultPlan m_faults;
  std::uint16_t m_productId;
  PenTiming m_timing;
  std::uint32_t m_restartDelayMs;
  bool m_functionButtonHeld = false;

  PenMode m_mode = PenMode::Off;
  std::uint16_t m_reportedProductId;
  std::uint16_t m_bcdDevice = 0;
  Clock::time_point m_busyUntil{};
  std::uint16_t m_sequence = 0;
  std::uint32_t m_requests = 0;
  std::uint64_t m_modelMs = 0;
  std::uint32_t m_restarts = 0;
  std::uint32_t m_sends = 0;  // transfers from the host, for HoldFault
  std::uint32_t m_descriptorReads = 0;
};

}  // namespace virtualpen
