#include "virtualpen/bus_core.h"

#include <algorithm>
#include <atomic>
#include <cctype>

#include "afx/time_scale.h"

namespace virtualpen {

bool BusCore::Plug(const std::shared_ptr<BusDevice>& pen, bool functionButton) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_stopping) return false;
  CancelReturnLocked(pen);
  std::lock_guard<std::mutex> penLock(pen->m_mutex);
  if (pen->m_onBus) return IsPluggedLocked(pen);
  return BringUpLocked(pen, functionButton, BootOverrides{});
}

void BusCore::Unplug(const std::shared_ptr<BusDevice>& pen) {
  std::lock_guard<std::mutex> lock(m_mutex);
  CancelReturnLocked(pen);
  std::lock_guard<std::mutex> penLock(pen->m_mutex);
  if (IsPluggedLocked(pen)) TakeOffLocked(pen, Departure::Unplug);
}

void BusCore::PlugAfter(const std::shared_ptr<BusDevice>& pen, const std::shared_ptr<BusDevice>& watched,
                        Departure departure, int count, std::uint32_t delayMs) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_stopping) m_departureWatches.push_back({pen, watched, departure, std::max(count, 1), delayMs});
}

int BusCore::PluggedCount() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return static_cast<int>(m_plugged.size());
}

std::vector<std::string> BusCore::InterfaceNames() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  std::vector<std::string> names;
  for (const Plugged& plugged : m_plugged) names.push_back(plugged.interfaceName);
  return names;
}

std::shared_ptr<PenLink> BusCore::Open(std::string* interfaceName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_plugged.empty()) return nullptr;
  if (interfaceName != nullptr) *interfaceName = m_plugged.front().interfaceName;
  return OpenLocked(m_plugged.front());
}

std::shared_ptr<PenLink> BusCore::OpenInterface(const std::string& interfaceName) {
  const auto lower = [](std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  };
  std::lock_guard<std::mutex> lock(m_mutex);
  for (const Plugged& plugged : m_plugged) {
    if (lower(plugged.interfaceName) == lower(interfaceName)) return OpenLocked(plugged);
  }
  return nullptr;
}

std::shared_ptr<PenLink> BusCore::OpenLocked(const Plugged& plugged) {
  std::lock_guard<std::mutex> penLock(plugged.pen->m_mutex);
  if (plugged.pen->m_openRefused) return nullptr;
  return std::make_shared<PenLink>(shared_from_this(), plugged.pen, plugged.pen->m_session, plugged.interfaceName);
}

PenLink::Result BusCore::Send(PenLink& link, const std::uint8_t* data, std::size_t size,
                              const HostWait& wait) {
  std::unique_lock<std::mutex> lock(m_mutex);
  const auto& pen = link.m_pen;
  std::unique_lock<std::mutex> penLock(pen->m_mutex);
  const PenLink::Result state = link.StateLocked();
  if (state != PenLink::Result::Ok) return state;
  if (const auto hold = pen->HoldsTransferLocked(HeldTransfer::Send)) {
    lock.unlock();  // the bus goes on meanwhile
    return link.WaitHeldLocked(penLock, hold->cancellable, wait);
  }
  m_record.Packet(record::TrafficRecord::Direction::ToPen, pen->m_serial, data, size);
  BootOverrides overrides;
  switch (pen->HandleMessageLocked(data, size, overrides)) {
    case BusDevice::Outcome::None:
      return PenLink::Result::Ok;
    case BusDevice::Outcome::Restart:
      m_record.Event("restart", pen->m_serial);
      TakeOffLocked(pen, Departure::Restart);
      if (!overrides.neverReturn) ScheduleReturnLocked(pen, overrides);
      return PenLink::Result::Ok;  // the pen took the byte before it went
    case BusDevice::Outcome::Unplug:
      TakeOffLocked(pen, Departure::Unplug);
      return PenLink::Result::NotConnected;  // it went during the transfer
    case BusDevice::Outcome::Suspend:
      TakeOffLocked(pen, Departure::Unplug);
      ScheduleReturnLocked(pen, overrides);
      return PenLink::Result::NotConnected;
  }
  return PenLink::Result::Ok;
}

void BusCore::ScheduleReturnLocked(const std::shared_ptr<BusDevice>& pen, const BootOverrides& overrides) {
  m_returns.push_back({pen, Clock::now() + afx::Scaled(overrides.delayMs), overrides});
  m_wake.notify_all();
}

std::uint64_t BusCore::Subscribe(DeviceListener listener) {
  // Unique in the process, so that an id kept across a bus reset cannot name a
  // subscription of the new bus.
  static std::atomic<std::uint64_t> nextId{1};
  const std::uint64_t id = nextId++;
  std::lock_guard<std::mutex> lock(m_mutex);
  m_subscribers.push_back({id, std::make_shared<DeviceListener>(std::move(listener))});
  return id;
}

void BusCore::Unsubscribe(std::uint64_t id, bool waitForDelivery) {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_subscribers.erase(std::remove_if(m_subscribers.begin(), m_subscribers.end(),
                                     [id](const Subscriber& s) { return s.id == id; }),
                      m_subscribers.end());
  // A delivery under way may still hold the listener; the event thread itself
  // cannot wait for the delivery it is making.
  if (waitForDelivery && std::this_thread::get_id() != m_eventThread) {
    m_settled.wait(lock, [this] { return !m_delivering; });
  }
}

bool BusCore::WaitUntilIdle(Clock::duration timeout) {
  std::unique_lock<std::mutex> lock(m_mutex);
  if (std::this_thread::get_id() == m_eventThread) return IdleLocked();
  return m_settled.wait_for(lock, timeout, [this] { return m_stopping || IdleLocked(); }) &&
         IdleLocked();
}

bool BusCore::IdleLocked() const { return m_events.empty() && m_returns.empty() && !m_delivering; }

void BusCore::RunEvents() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_eventThread = std::this_thread::get_id();
  while (!m_stopping) {
    BringBackDueLocked(Clock::now());
    if (!m_events.empty()) {
      const PendingEvent pending = std::move(m_events.front());
      m_events.pop_front();
      std::vector<std::shared_ptr<DeviceListener>> listeners;
      for (const Subscriber& subscriber : m_subscribers) listeners.push_back(subscriber.listener);
      m_delivering = true;
      lock.unlock();
      for (const auto& listener : listeners) (*listener)(pending.event, pending.interfaceName);
      lock.lock();
      m_delivering = false;
      m_settled.notify_all();
      continue;
    }
    if (m_returns.empty()) {
      m_wake.wait(lock);
    } else {
      const auto next = std::min_element(m_returns.begin(), m_returns.end(),
                                         [](const PendingReturn& a, const PendingReturn& b) {
                                           return a.due < b.due;
                                         });
      m_wake.wait_until(lock, next->due);
    }
  }
}

bool BusCore::Shutdown() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_stopping = true;
  m_returns.clear();
  m_departureWatches.clear();
  for (const Plugged& plugged : m_plugged) {
    std::lock_guard<std::mutex> penLock(plugged.pen->m_mutex);
    plugged.pen->LeaveBusLocked();
  }
  m_plugged.clear();
  m_events.clear();
  m_wake.notify_all();
  m_settled.notify_all();
  return m_delivering;
}

bool BusCore::BringUpLocked(const std::shared_ptr<BusDevice>& pen, bool functionButton,
                            const BootOverrides& overrides) {
  if (!pen->BootLocked(functionButton, overrides)) return false;
  std::string name = pen->InterfaceNameLocked();
  // Two devices cannot publish one interface name.
  const bool taken = std::any_of(m_plugged.begin(), m_plugged.end(),
                                 [&name](const Plugged& other) { return other.interfaceName == name; });
  if (taken) {
    pen->LeaveBusLocked();
    return false;
  }
  m_plugged.push_back({pen, name});
  m_record.Event("plug", pen->m_serial, name);
  QueueEventLocked(DeviceEvent::Arrival, std::move(name));
  return true;
}

void BusCore::TakeOffLocked(const std::shared_ptr<BusDevice>& pen, Departure departure) {
  std::string name = pen->InterfaceNameLocked();
  pen->LeaveBusLocked();
  m_plugged.erase(std::remove_if(m_plugged.begin(), m_plugged.end(),
                                 [&pen](const Plugged& plugged) { return plugged.pen == pen; }),
                  m_plugged.end());
  m_record.Event("unplug", pen->m_serial);
  QueueEventLocked(DeviceEvent::Removal, std::move(name));
  for (auto watch = m_departureWatches.begin(); watch != m_departureWatches.end();) {
    if (watch->watched != pen || watch->departure != departure || --watch->count > 0) {
      ++watch;
      continue;
    }
    BootOverrides overrides;
    overrides.delayMs = watch->delayMs;
    ScheduleReturnLocked(watch->pen, overrides);
    watch = m_departureWatches.erase(watch);
  }
}

bool BusCore::IsPluggedLocked(const std::shared_ptr<BusDevice>& pen) const {
  return std::any_of(m_plugged.begin(), m_plugged.end(),
                     [&pen](const Plugged& plugged) { return plugged.pen == pen; });
}

void BusCore::CancelReturnLocked(const std::shared_ptr<BusDevice>& pen) {
  m_returns.erase(std::remove_if(m_returns.begin(), m_returns.end(),
                                 [&pen](const PendingReturn& r) { return r.pen == pen; }),
                  m_returns.end());
  m_settled.notify_all();
}

void BusCore::BringBackDueLocked(Clock::time_point now) {
  auto due = std::stable_partition(m_returns.begin(), m_returns.end(),
                                   [now](const PendingReturn& r) { return r.due > now; });
  if (due == m_returns.end()) return;
  std::vector<PendingReturn> returning(std::make_move_iterator(due),
                                       std::make_move_iterator(m_returns.end()));
  m_returns.erase(due, m_returns.end());
  for (const PendingReturn& r : returning) {
    std::lock_guard<std::mutex> penLock(r.pen->m_mutex);
    // A pen without bootable firmware stays dark; one plugged by hand meanwhile stays as it is.
    if (!r.pen->m_onBus) BringUpLocked(r.pen, false, r.overrides);
  }
  m_settled.notify_all();
}

void BusCore::QueueEventLocked(DeviceEvent event, std::string interfaceName) {
  if (m_stopping) return;
  m_events.push_back({event, std::move(interfaceName)});
  m_wake.notify_all();
}

}  // namespace virtualpen
