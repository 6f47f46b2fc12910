#pragma once
// One virtual pen: its flash, boot loader, flash-access firmware, USB descriptor,
// outgoing packet queue, timing and injected faults. Every public method is
// thread-safe and may be called at any time. Host traffic reaches the pen only
// through a VirtualBus (PenLink); settings that concern booting apply at its next boot.
#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "virtualpen/flash_memory.h"
#include "virtualpen/pen_faults.h"
#include "virtualpen/pen_packets.h"
#include "virtualpen/usb_descriptor.h"

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

// Where a restart's faults send the next boot.
struct BootOverrides {
  bool neverReturn = false;
  bool noDfuAnnouncement = false;
  std::optional<std::uint16_t> productId;
};

class VirtualPen {
 public:
  using Clock = std::chrono::steady_clock;

  // Throws std::invalid_argument for a differing DFU chunk outside the image.
  explicit VirtualPen(const PenOptions& options = {});
  VirtualPen(const VirtualPen&) = delete;
  VirtualPen& operator=(const VirtualPen&) = delete;

  const std::string& Serial() const { return m_serial; }
  // \\?\USB#VID_1D50&PID_xxxx#<serial>#{a165badf-...}, with the product id it reports now
  // (the configured one while it is off the bus).
  std::string InterfaceName() const;

  PenMode Mode() const;
  bool IsOnBus() const;
  DeviceDescriptor Descriptor() const;  // bcdDevice 0x0000 in DFU mode
  std::uint32_t RequestCount() const;
  // Product milliseconds the timing model has charged for requests so far
  // (latency, erase and program times, injected delays): what a benchmark
  // compares the wall time of an upgrade with.
  std::uint64_t ModelMilliseconds() const;
  std::uint32_t RestartCount() const;
  std::size_t QueuedPackets() const;  // sent by the pen, not yet taken by a receive
  std::size_t WaitingReceives() const;  // host receives blocked on this pen (for tests to sync on)

  std::vector<std::uint8_t> ReadFlash(std::uint32_t address, std::size_t size) const;
  // Factory programming, without the NOR rules. False outside the flash.
  bool LoadFlash(std::uint32_t address, const std::vector<std::uint8_t>& bytes);
  void SetIdentityBlock(const IdentityBlock& block);

  void SetProductId(std::uint16_t productId);
  void SetTiming(const PenTiming& timing);
  void SetRestartDelay(std::uint32_t milliseconds);
  void SetFunctionButtonHeld(bool held);  // held through every boot until released
  void SetOpenRefused(bool refused);      // the interface exists but cannot be opened
  // A driver that does not cancel: a receive waiting on this pen ignores its link's
  // close and the pen leaving the bus, and returns only with a packet of the boot it
  // was opened on, or once this is cleared.
  void SetReceivesIgnoreClose(bool ignore);

  void AddFault(const RequestFault& fault);
  void AddFault(const RestartFault& fault);
  void ClearFaults();

 private:
  friend class BusCore;
  friend class PenLink;

  enum class Outcome { None, Restart, Unplug };
  struct QueuedPacket {
    Packet bytes;
    Clock::time_point readyAt;
  };

  // The rest runs with m_mutex held.
  std::string InterfaceNameLocked() const;
  DeviceDescriptor DescriptorLocked() const;
  bool BootLocked(bool functionButton, const BootOverrides& overrides);  // false: stays dark
  void LeaveBusLocked();
  Outcome HandleMessageLocked(const std::uint8_t* data, std::size_t size, BootOverrides& overrides);
  void HandleFlashRequestLocked(const std::uint8_t* data, std::size_t size,
                                const std::vector<RequestFault>& faults);
  void QueueLocked(Packet packet, Clock::time_point readyAt);
  std::uint16_t NextSequenceLocked() { return m_sequence++; }

  const std::string m_serial;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;  // queue, presence on the bus, or a link closed
  FlashMemory m_flash;
  FaultPlan m_faults;
  std::uint16_t m_productId;
  PenTiming m_timing;
  std::uint32_t m_restartDelayMs;
  bool m_functionButtonHeld = false;
  bool m_openRefused = false;
  bool m_receivesIgnoreClose = false;

  PenMode m_mode = PenMode::Off;
  std::uint64_t m_session = 0;  // counts boots; a link serves one
  std::uint16_t m_reportedProductId;
  std::uint16_t m_bcdDevice = 0;
  std::deque<QueuedPacket> m_queue;
  Clock::time_point m_busyUntil{};
  std::uint16_t m_sequence = 0;
  std::uint32_t m_requests = 0;
  std::uint64_t m_modelMs = 0;
  std::uint32_t m_restarts = 0;
  std::size_t m_waitingReceives = 0;
};

}  // namespace virtualpen
