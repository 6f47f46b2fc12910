#pragma once
// The state a VirtualBus shares with its event thread and with the links it has
// opened, which may outlive it (a link of a bus that is gone reports NotConnected).
// Lock order: the core's lock, then a device's lock, then the record's lock.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "record/traffic_record.h"
#include "virtualpen/bus_device.h"
#include "virtualpen/pen_link.h"

namespace virtualpen {

enum class DeviceEvent { Arrival, Removal };
// How a pen leaves the bus: pulled out or cut off by a fault, or for a restart.
enum class Departure { Unplug, Restart };
using DeviceListener = std::function<void(DeviceEvent event, const std::string& interfaceName)>;

class BusCore : public std::enable_shared_from_this<BusCore> {
 public:
  using Clock = std::chrono::steady_clock;

  bool Plug(const std::shared_ptr<BusDevice>& pen, bool functionButton);
  void PlugAfter(const std::shared_ptr<BusDevice>& pen, const std::shared_ptr<BusDevice>& watched,
                 Departure departure, int count, std::uint32_t delayMs);
  void Unplug(const std::shared_ptr<BusDevice>& pen);
  int PluggedCount() const;
  std::vector<std::string> InterfaceNames() const;
  std::shared_ptr<PenLink> Open(std::string* interfaceName);
  std::shared_ptr<PenLink> OpenInterface(const std::string& interfaceName);
  PenLink::Result Send(PenLink& link, const std::uint8_t* data, std::size_t size, const HostWait& wait);

  std::uint64_t Subscribe(DeviceListener listener);
  void Unsubscribe(std::uint64_t id, bool waitForDelivery);
  bool WaitUntilIdle(Clock::duration timeout);

  record::TrafficRecord& Record() { return m_record; }

  // The event thread's body: delivers notifications in order, one at a time,
  // without the lock, and brings restarted pens back when they are due.
  void RunEvents();
  // Ends RunEvents without delivering what is left, and takes every pen off the bus.
  // True when a delivery is under way: RunEvents returns once it is done.
  bool Shutdown();

 private:
  struct PendingEvent {
    DeviceEvent event;
    std::string interfaceName;
  };
  struct PendingReturn {
    std::shared_ptr<BusDevice> pen;
    Clock::time_point due;
    BootOverrides overrides;
  };
  struct DepartureWatch {
    std::shared_ptr<BusDevice> pen;  // plugged in once `watched` has left `count` more times this way
    std::shared_ptr<BusDevice> watched;
    Departure departure;
    int count;
    std::uint32_t delayMs;
  };
  struct Plugged {
    std::shared_ptr<BusDevice> pen;
    std::string interfaceName;  // fixed for the boot; kept here so no second pen lock is needed
  };
  struct Subscriber {
    std::uint64_t id;
    std::shared_ptr<DeviceListener> listener;
  };

  // With m_mutex and the pen's lock held.
  bool BringUpLocked(const std::shared_ptr<BusDevice>& pen, bool functionButton,
                     const BootOverrides& overrides);
  void TakeOffLocked(const std::shared_ptr<BusDevice>& pen, Departure departure);
  // With m_mutex held: the pen comes back by itself as `overrides` say.
  void ScheduleReturnLocked(const std::shared_ptr<BusDevice>& pen, const BootOverrides& overrides);
  // With m_mutex held.
  std::shared_ptr<PenLink> OpenLocked(const Plugged& plugged);
  bool IsPluggedLocked(const std::shared_ptr<BusDevice>& pen) const;
  void CancelReturnLocked(const std::shared_ptr<BusDevice>& pen);
  void BringBackDueLocked(Clock::time_point now);
  void QueueEventLocked(DeviceEvent event, std::string interfaceName);
  bool IdleLocked() const;

  mutable std::mutex m_mutex;
  std::condition_variable m_wake;     // the event thread: an event, a return or the stop
  std::condition_variable m_settled;  // a delivery ended or a return was done
  std::vector<Plugged> m_plugged;  // in plug order
  std::vector<PendingReturn> m_returns;
  std::vector<DepartureWatch> m_departureWatches;
  std::deque<PendingEvent> m_events;
  std::vector<Subscriber> m_subscribers;
  bool m_delivering = false;
  bool m_stopping = false;
  std::thread::id m_eventThread;
  record::TrafficRecord m_record;
};

}  // namespace virtualpen
