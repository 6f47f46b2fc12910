#include "virtualpen/virtual_bus.h"

#include <mutex>

namespace virtualpen {
namespace {

std::mutex instanceMutex;
std::shared_ptr<VirtualBus>& InstanceSlot() {
  static std::shared_ptr<VirtualBus> instance;
  return instance;
}

}  // namespace

VirtualBus::VirtualBus() : m_core(std::make_shared<BusCore>()) {
  m_eventThread = std::thread([core = m_core] { core->RunEvents(); });
}

VirtualBus::~VirtualBus() {
  const bool delivering = m_core->Shutdown();
  // A listener under way may be waiting for this very thread (a SendMessageA to
  // its window), or be this thread: the event thread then ends on its own, and
  // the core it shares stays alive until it has.
  if (delivering || m_eventThread.get_id() == std::this_thread::get_id()) {
    m_eventThread.detach();
  } else {
    m_eventThread.join();
  }
}

std::shared_ptr<VirtualBus> VirtualBus::Instance() {
  std::lock_guard<std::mutex> lock(instanceMutex);
  auto& instance = InstanceSlot();
  if (!instance) instance = std::make_shared<VirtualBus>();
  return instance;
}

void VirtualBus::ResetInstance() {
  std::shared_ptr<VirtualBus> old;
  {
    std::lock_guard<std::mutex> lock(instanceMutex);
    old.swap(InstanceSlot());
  }
  // Destroyed here, outside the instance lock, unless a caller still holds it.
}

std::shared_ptr<VirtualPen> VirtualBus::PlugNewPen(const PenOptions& options) {
  auto pen = std::make_shared<VirtualPen>(options);
  Plug(pen);
  return pen;
}

bool VirtualBus::Plug(const std::shared_ptr<BusDevice>& pen, bool holdFunctionButton) {
  return pen != nullptr && m_core->Plug(pen, holdFunctionButton);
}

void VirtualBus::Unplug(const std::shared_ptr<BusDevice>& pen) {
  if (pen != nullptr) m_core->Unplug(pen);
}

int VirtualBus::PluggedCount() const { return m_core->PluggedCount(); }

std::vector<std::string> VirtualBus::InterfaceNames() const { return m_core->InterfaceNames(); }

void VirtualBus::PlugAfter(const std::shared_ptr<BusDevice>& pen, const std::shared_ptr<BusDevice>& watched,
                           Departure departure, int count, std::uint32_t delayMs) {
  m_core->PlugAfter(pen, watched, departure, count, delayMs);
}

std::shared_ptr<PenLink> VirtualBus::Open(std::string* interfaceName) {
  return m_core->Open(interfaceName);
}

std::shared_ptr<PenLink> VirtualBus::OpenInterface(const std::string& interfaceName) {
  return m_core->OpenInterface(interfaceName);
}

VirtualBus::SubscriptionId VirtualBus::Subscribe(DeviceListener listener) {
  return m_core->Subscribe(std::move(listener));
}

void VirtualBus::Unsubscribe(SubscriptionId id, bool waitForDelivery) {
  m_core->Unsubscribe(id, waitForDelivery);
}

bool VirtualBus::WaitUntilIdle(std::chrono::steady_clock::duration timeout) {
  return m_core->WaitUntilIdle(timeout);
}

bool VirtualBus::StartRecord(const std::string& path) { return m_core->Record().Start(path); }

void VirtualBus::StartRecord(std::shared_ptr<std::ostream> out) {
  m_core->Record().Start(
      [out](const std::string& line) { return static_cast<bool>(*out << line << '\n'); }, "a stream");
}

void VirtualBus::StopRecord() { m_core->Record().Stop(); }

void VirtualBus::RecordFailure(const std::string& reason) { m_core->Record().Failure(reason); }

std::string VirtualBus::IncompleteRecord() const { return m_core->Record().Incomplete(); }

}  // namespace virtualpen
