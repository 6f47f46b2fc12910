#pragma once
// What the bus and the host's links serve: a device that comes onto the bus for a
// boot (a link serves one), takes messages from the host and has packets ready for
// it. VirtualPen models the pen behind this; ReplayedPen plays a traffic record.
// The bus drives the protected part with the device's lock held (order in bus_core.h).
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include "virtualpen/pen_faults.h"
#include "virtualpen/pen_packets.h"
#include "virtualpen/usb_descriptor.h"

namespace virtualpen {

// How the boot after a restart comes.
struct BootOverrides {
  std::uint32_t delayMs = 0;  // product time off the bus
  bool neverReturn = false;
  bool noDfuAnnouncement = false;
  std::optional<std::uint16_t> productId;
};

class BusDevice {
 public:
  using Clock = std::chrono::steady_clock;

  explicit BusDevice(std::string serial) : m_serial(std::move(serial)) {}
  virtual ~BusDevice() = default;
  BusDevice(const BusDevice&) = delete;
  BusDevice& operator=(const BusDevice&) = delete;

  const std::string& Serial() const { return m_serial; }
  bool IsOnBus() const;
  // The name of the interface it publishes, or would publish, on the bus.
  std::string InterfaceName() const;
  DeviceDescriptor Descriptor() const;
  std::size_t QueuedPackets() const;    // sent, not yet taken by a receive
  std::size_t WaitingReceives() const;  // host receives blocked on it (for tests to sync on)
  // Transfers its driver holds (HoldFault): those a host still waits for, and
  // those abandoned to it, which end when it leaves the bus.
  std::size_t HeldTransfers() const;

  void SetOpenRefused(bool refused);  // the interface exists but cannot be opened
  // A driver that does not cancel: a receive waiting on this device ignores its
  // link's close and the device leaving the bus, and returns only with a packet of
  // the boot it was opened on, or once this is cleared.
  void SetReceivesIgnoreClose(bool ignore);

 protected:
  friend class BusCore;
  friend class PenLink;

  enum class Outcome { None, Restart, Unplug, Suspend };
  struct QueuedPacket {
    Packet bytes;
    Clock::time_point readyAt;
  };

  // The rest runs with m_mutex held.
  virtual std::string InterfaceNameLocked() const = 0;
  virtual DeviceDescriptor DescriptorLocked() const = 0;
  // Comes onto the bus (EnterBusLocked); false when it stays dark.
  virtual bool BootLocked(bool functionButton, const BootOverrides& overrides) = 0;
  // One message from the host. Restart: it leaves the bus and `next` says how it
  // comes back; Unplug: it leaves during the transfer; Suspend: it leaves during
  // the transfer and comes back as `next` says.
  virtual Outcome HandleMessageLocked(const std::uint8_t* data, std::size_t size, BootOverrides& next) = 0;
  // Whether its driver holds the next transfer of this kind instead of completing it.
  virtual std::optional<HoldFault> HoldsTransferLocked(HeldTransfer) { return std::nullopt; }
  virtual void LeaveBusLocked();
  void EnterBusLocked();  // a new boot, with nothing queued
  void QueueLocked(Packet packet, Clock::time_point readyAt);

  const std::string m_serial;
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;  // queue, presence on the bus, or a link closed
  bool m_onBus = false;
  std::uint64_t m_session = 0;  // counts boots
  std::deque<QueuedPacket> m_queue;
  bool m_openRefused = false;
  bool m_receivesIgnoreClose = false;
  std::size_t m_waitingReceives = 0;
  std::size_t m_heldTransfers = 0;       // a host waits for them
  std::size_t m_abandonedTransfers = 0;  // no host waits for them any more
};

}  // namespace virtualpen
