#pragma once
// One opening of a pen's interface by the host: what a driver handle stands for.
// A link serves one boot of the pen; once the pen leaves the bus (unplug,
// restart) every operation on it reports NotConnected, also after the pen is back.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "virtualpen/usb_descriptor.h"

namespace virtualpen {

class BusCore;
class BusDevice;

// How long the host waits for a transfer the driver holds: it cancels it after
// `completionMs` and gives up on it `cancelMs` later if the driver cannot cancel
// it. Product milliseconds; INFINITE (the default) waits as long as it is held.
struct HostWait {
  std::uint32_t completionMs = 0xFFFFFFFFu;
  std::uint32_t cancelMs = 0;
};

class PenLink {
 public:
  // TimedOut: a receive's limit passed, or the host cancelled a held transfer at
  // its limit; Abandoned: the driver did not honour that cancel (HoldFault).
  enum class Result { Ok, NotConnected, Closed, TimedOut, Abandoned };

  PenLink(std::shared_ptr<BusCore> bus, std::shared_ptr<BusDevice> pen, std::uint64_t session,
          std::string interfaceName);
  PenLink(const PenLink&) = delete;
  PenLink& operator=(const PenLink&) = delete;

  // Hands `size` bytes to the pen as one message; the pen handles it before this
  // returns (its response may become ready later, by the timing model). Any thread.
  // A held send ends as `wait` says, or NotConnected / Closed when the pen leaves
  // the bus or the link is closed meanwhile; the pen never sees it.
  Result Send(const std::uint8_t* data, std::size_t size, const HostWait& wait = {});

  // Takes the next packet the pen has ready; blocks until one is ready, the pen
  // leaves the bus (NotConnected) or the link is closed (Closed). A packet longer
  // than `capacity` is cut. `received` is 0 unless the result is Ok.
  Result Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received);
  // The same with a limit in real time (for tests); TimedOut when it passes.
  Result Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                 std::chrono::steady_clock::duration timeout);

  // `descriptor` is written on Ok only; a held read ends as a held send does.
  Result ReadDescriptor(DeviceDescriptor& descriptor, const HostWait& wait = {});

  // Ends the link: a waiting Receive returns Closed, and so does every later call.
  void Close();

  const std::string& InterfaceName() const { return m_interfaceName; }
  const std::shared_ptr<BusDevice>& Pen() const { return m_pen; }

 private:
  friend class BusCore;
  Result ReceiveUntil(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                      const std::chrono::steady_clock::time_point* deadline);
  Result StateLocked() const;  // with the pen's lock held
  // The host's wait for a transfer the driver holds, with the pen's lock in `lock`.
  Result WaitHeldLocked(std::unique_lock<std::mutex>& lock, bool cancellable, const HostWait& wait);

  const std::shared_ptr<BusCore> m_bus;
  const std::shared_ptr<BusDevice> m_pen;
  const std::uint64_t m_session;
  const std::string m_interfaceName;
  bool m_closed = false;  // guarded by the pen's lock
};

}  // namespace virtualpen
