#include "virtualpen/pen_link.h"

#include <algorithm>
#include <cstring>

#include "afx/sync.h"
#include "virtualpen/bus_core.h"
#include "virtualpen/bus_device.h"

namespace virtualpen {

PenLink::PenLink(std::shared_ptr<BusCore> bus, std::shared_ptr<BusDevice> pen, std::uint64_t session,
                 std::string interfaceName)
    : m_bus(std::move(bus)),
      m_pen(std::move(pen)),
      m_session(session),
      m_interfaceName(std::move(interfaceName)) {}

PenLink::Result PenLink::StateLocked() const {
  if (m_closed) return Result::Closed;
  if (!m_pen->m_onBus || m_pen->m_session != m_session) return Result::NotConnected;
  return Result::Ok;
}

PenLink::Result PenLink::Send(const std::uint8_t* data, std::size_t size, const HostWait& wait) {
  return m_bus->Send(*this, data, size, wait);
}

PenLink::Result PenLink::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received) {
  return ReceiveUntil(buffer, capacity, received, nullptr);
}

PenLink::Result PenLink::Receive(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                                 std::chrono::steady_clock::duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  return ReceiveUntil(buffer, capacity, received, &deadline);
}

PenLink::Result PenLink::ReceiveUntil(std::uint8_t* buffer, std::size_t capacity, std::size_t* received,
                                      const std::chrono::steady_clock::time_point* deadline) {
  *received = 0;
  BusDevice& pen = *m_pen;
  std::unique_lock<std::mutex> lock(pen.m_mutex);
  for (;;) {
    const Result state = StateLocked();
    if (state != Result::Ok && !pen.m_receivesIgnoreClose) return state;
    const bool ownBoot = pen.m_onBus && pen.m_session == m_session;
    const auto now = std::chrono::steady_clock::now();
    if (ownBoot && !pen.m_queue.empty() && pen.m_queue.front().readyAt <= now) {
      const Packet packet = std::move(pen.m_queue.front().bytes);
      pen.m_queue.pop_front();
      m_bus->Record().Packet(record::TrafficRecord::Direction::FromPen, pen.m_serial, packet.data(),
                             packet.size());
      *received = std::min(capacity, packet.size());
      if (*received > 0) std::memcpy(buffer, packet.data(), *received);
      return Result::Ok;
    }
    if (deadline != nullptr && now >= *deadline) return Result::TimedOut;
    // Wake for the next packet's ready time, the caller's limit, or any change.
    ++pen.m_waitingReceives;
    if (!pen.m_queue.empty()) {
      auto wake = pen.m_queue.front().readyAt;
      if (deadline != nullptr) wake = std::min(wake, *deadline);
      pen.m_changed.wait_until(lock, wake);
    } else if (deadline != nullptr) {
      pen.m_changed.wait_until(lock, *deadline);
    } else {
      pen.m_changed.wait(lock);
    }
    --pen.m_waitingReceives;
  }
}

PenLink::Result PenLink::ReadDescriptor(DeviceDescriptor& descriptor, const HostWait& wait) {
  std::unique_lock<std::mutex> lock(m_pen->m_mutex);
  const Result state = StateLocked();
  if (state != Result::Ok) return state;
  if (const auto hold = m_pen->HoldsTransferLocked(HeldTransfer::DescriptorRead)) {
    return WaitHeldLocked(lock, hold->cancellable, wait);
  }
  descriptor = m_pen->DescriptorLocked();
  m_bus->Record().Descriptor(m_pen->m_serial, descriptor.data(), descriptor.size());
  return state;
}

// The driver completes a held transfer only when the pen leaves the bus or the
// link is closed, or (cancellable) when the host cancels it: never with success.
PenLink::Result PenLink::WaitHeldLocked(std::unique_lock<std::mutex>& lock, bool cancellable,
                                        const HostWait& wait) {
  BusDevice& pen = *m_pen;
  const auto ended = [this] { return StateLocked() != Result::Ok; };
  ++pen.m_heldTransfers;
  Result result = Result::TimedOut;  // cancelled at the limit
  if (afx::detail::WaitFor(pen.m_changed, lock, wait.completionMs, ended)) {
    result = StateLocked();
  } else if (!cancellable) {
    if (afx::detail::WaitFor(pen.m_changed, lock, wait.cancelMs, ended)) {
      result = StateLocked();
    } else {
      ++pen.m_abandonedTransfers;
      result = Result::Abandoned;
    }
  }
  --pen.m_heldTransfers;
  return result;
}

void PenLink::Close() {
  std::lock_guard<std::mutex> lock(m_pen->m_mutex);
  m_closed = true;
  m_pen->m_changed.notify_all();
}

}  // namespace virtualpen
