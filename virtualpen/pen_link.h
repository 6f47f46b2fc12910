#pragma once
// One opening of a pen's interface by the host: what a driver handle stands for.
// A link serves one boot of the pen; once the pen leaves the bus (unplug,
// restart) every operation on it reports NotConnected, also after the pen is back.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "virtualpen/usb_descriptor.h"

namespace virtualpen {

class BusCore;
class BusDevice;

class PenLink {
 public:
  enum class Result { Ok, NotConnected, Closed, TimedOut };

  PenLink(std::shared_ptr<BusCore> bus, std::shared_ptr<BusDevice> pen, std::uint64_t session,
          std::string interfaceName);
  PenLink(const PenLink&) = delete;
  PenLink& operator=(const PenLink&) = delete;

  // Hands `size` bytes to the pen as one message; the pen handles it before this
  // returns (its response may become ready later, by the timing model). Any thread.
  Result Send(const std::uint8_t* data, std::size_t size);

  // Takes the next packet the pen has ready; blocks until one is ready, the pen
  // leaves the bus (NotConnected) or the link is closed (Closed). A packet longer
  // than `capacity` is cut. `received` is 0 unless the result is Ok.
  Result Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received);
  // The same with a limit in real time (for tests); TimedOut when it passes.
  Result Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                 std::chrono::steady_clock::duration timeout);

  Result ReadDescriptor(DeviceDescriptor& descriptor);

  // Ends the link: a waiting Receive returns Closed, and so does every later call.
  void Close();

  const std::string& InterfaceName() const { return m_interfaceName; }
  const std::shared_ptr<BusDevice>& Pen() const { return m_pen; }

 private:
  friend class BusCore;
  Result ReceiveUntil(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                      const std::chrono::steady_clock::time_point* deadline);
  Result StateLocked() const;  // with the pen's lock held

  const std::shared_ptr<BusCore> m_bus;
  const std::shared_ptr<BusDevice> m_pen;
  const std::uint64_t m_session;
  const std::string m_interfaceName;
  bool m_closed = false;  // guarded by the pen's lock
};

}  // namespace virtualpen
