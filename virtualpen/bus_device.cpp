#include "virtualpen/bus_device.h"

namespace virtualpen {

bool BusDevice::IsOnBus() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_onBus;
}

std::string BusDevice::InterfaceName() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return InterfaceNameLocked();
}

DeviceDescriptor BusDevice::Descriptor() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return DescriptorLocked();
}

std::size_t BusDevice::QueuedPackets() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_queue.size();
}

std::size_t BusDevice::WaitingReceives() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_waitingReceives;
}

std::size_t BusDevice::HeldTransfers() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_heldTransfers + m_abandonedTransfers;
}

void BusDevice::SetOpenRefused(bool refused) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_openRefused = refused;
}

void BusDevice::SetReceivesIgnoreClose(bool ignore) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_receivesIgnoreClose = ignore;
  m_changed.notify_all();  // waiting receives look at their link again
}

void BusDevice::EnterBusLocked() {
  m_onBus = true;
  ++m_session;
  m_queue.clear();
  m_changed.notify_all();
}

void BusDevice::LeaveBusLocked() {
  m_onBus = false;
  m_queue.clear();  // what the device had not yet sent dies with its RAM
  m_abandonedTransfers = 0;  // the driver completes what it held (the waiting ones see the state)
  m_changed.notify_all();
}

void BusDevice::QueueLocked(Packet packet, Clock::time_point readyAt) {
  m_queue.push_back({std::move(packet), readyAt});
  m_changed.notify_all();
}

}  // namespace virtualpen
