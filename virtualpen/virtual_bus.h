#pragma once
// The virtual USB bus: any number of pens, plugged and unplugged at will, each
// publishing one device interface while it is on the bus. Arrival and removal
// notifications go to subscribers in order, from the bus's one event thread, which
// also brings restarted pens back. The channel backend uses Instance(); tests may
// make their own buses or reset the instance.
#include <chrono>
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "virtualpen/bus_core.h"
#include "virtualpen/pen_link.h"
#include "virtualpen/virtual_pen.h"

namespace virtualpen {

class VirtualBus {
 public:
  VirtualBus();
  // Takes every pen off the bus (open links then report NotConnected), drops
  // notifications not yet delivered and ends the event thread; a notification
  // being delivered is finished on that thread without waiting for it.
  ~VirtualBus();
  VirtualBus(const VirtualBus&) = delete;
  VirtualBus& operator=(const VirtualBus&) = delete;

  // The process-wide bus of the channel backend, made on first use.
  static std::shared_ptr<VirtualBus> Instance();
  // Replaces it with a fresh one (tests); links of the old one report NotConnected.
  static void ResetInstance();

  // Makes a pen and plugs it in; the pen is returned also if it did not come up.
  std::shared_ptr<VirtualPen> PlugNewPen(const PenOptions& options = {});
  // Plugs a pen in, optionally with its function button held (it then boots into
  // DFU mode). True when it is on this bus afterwards; false when it has no
  // bootable firmware, is on another bus, or its interface name is taken.
  bool Plug(const std::shared_ptr<BusDevice>& pen, bool holdFunctionButton = false);
  // Plugs `pen` in `delayMs` of product time after `watched` has left the bus
  // `count` more times in the way `departure` says: a second pen that turns up
  // while the tool waits for the first.
  void PlugAfter(const std::shared_ptr<BusDevice>& pen, const std::shared_ptr<BusDevice>& watched,
                 Departure departure, int count, std::uint32_t delayMs);
  // Pulls a pen out; also cancels its return from a restart.
  void Unplug(const std::shared_ptr<BusDevice>& pen);

  int PluggedCount() const;
  std::vector<std::string> InterfaceNames() const;  // in plug order

  // Opens the first plugged pen's interface. Null with no pen, or when the pen
  // refuses (then `interfaceName` still names it).
  std::shared_ptr<PenLink> Open(std::string* interfaceName = nullptr);
  // Opens the plugged pen whose interface is `interfaceName` (in any letter case,
  // as the system's paths). Null when there is none or it refuses.
  std::shared_ptr<PenLink> OpenInterface(const std::string& interfaceName);

  // Listeners run on the event thread, one notification at a time, never with a
  // bus lock held, so they may call the bus.
  using SubscriptionId = std::uint64_t;
  SubscriptionId Subscribe(DeviceListener listener);
  // With `waitForDelivery`, also waits for a delivery under way, so that the
  // listener is not running when this returns. Without it, that delivery may still
  // be running: use that when the listener may be waiting for the calling thread.
  void Unsubscribe(SubscriptionId id, bool waitForDelivery = true);

  // For tests: waits in real time until every notification is delivered and no
  // restarted pen is still to come back. False when the time ran out.
  bool WaitUntilIdle(std::chrono::steady_clock::duration timeout = std::chrono::seconds(10));

  // The traffic record (record/traffic_record.h); starting again starts a new record.
  bool StartRecord(const std::string& path);
  void StartRecord(std::shared_ptr<std::ostream> out);
  void StopRecord();
  // A failure line in the record, when one is kept.
  void RecordFailure(const std::string& reason);
  // Where the record was going when a line could not be written; empty while every line was.
  std::string IncompleteRecord() const;

 private:
  std::shared_ptr<BusCore> m_core;
  std::thread m_eventThread;
};

}  // namespace virtualpen
