// The driver channel (usb/pen_channel.h) over the virtual bus: the process-wide
// VirtualBus::Instance() stands for the system's device tree and the pen's driver.
// Result codes are those the Windows backend gives for the same situations.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>

#include "usb/pen_channel.h"
#include "usb/pen_channel_shared.h"
#include "virtualpen/pen_channel_virtual.h"
#include "virtualpen/virtual_bus.h"

using pen_channel::Diagnostic;

namespace {

using virtualpen::PenLink;

// Open links by handle value. Values are never reused, so a handle used after
// ClosePenDriver (the receive thread may still hold it) finds nothing and fails
// with ERROR_INVALID_HANDLE instead of reaching another opening.
class HandleTable {
 public:
  HANDLE Add(std::shared_ptr<PenLink> link) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_next += 0x10;
    m_links.emplace(m_next, std::move(link));
    return reinterpret_cast<HANDLE>(m_next);
  }
  std::shared_ptr<PenLink> Find(HANDLE handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_links.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == m_links.end() ? nullptr : found->second;
  }
  std::shared_ptr<PenLink> Remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto found = m_links.find(reinterpret_cast<std::uintptr_t>(handle));
    if (found == m_links.end()) return nullptr;
    auto link = std::move(found->second);
    m_links.erase(found);
    return link;
  }

 private:
  std::mutex m_mutex;
  std::map<std::uintptr_t, std::shared_ptr<PenLink>> m_links;
  std::uintptr_t m_next = 0x10000;
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// The channel never throws: a failure inside the model becomes a result code.
template <typename Operation>
DWORD Guarded(Operation operation) {
  try {
    return operation();
  } catch (const std::bad_alloc&) {
    return ERROR_NOT_ENOUGH_MEMORY;
  } catch (const std::exception&) {
    return ERROR_GEN_FAILURE;
  }
}

// What the Win32 backend waits for a request the driver does not complete.
constexpr virtualpen::HostWait kRequestWait = {kRequestLimitMs, kCancelLimitMs};

DWORD TransferResult(PenLink::Result result) {
  switch (result) {
    case PenLink::Result::Ok:
      return ERROR_SUCCESS;
    case PenLink::Result::NotConnected:
      return ERROR_DEVICE_NOT_CONNECTED;
    case PenLink::Result::Closed:  // closed by another thread during the call
      return ERROR_INVALID_HANDLE;
    case PenLink::Result::TimedOut:  // cancelled at the limit
    case PenLink::Result::Abandoned:
      return kRequestTimeoutResult;
  }
  return ERROR_GEN_FAILURE;
}

DWORD Send(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  if (data == nullptr && count > 0) return ERROR_INVALID_PARAMETER;
  const auto link = Handles().Find(handle);
  if (!link) return ERROR_INVALID_HANDLE;
  return Guarded([&] { return TransferResult(link->Send(data, count, kRequestWait)); });
}

struct BroadcastDeleter {
  void operator()(DEV_BROADCAST_DEVICEINTERFACE_A* broadcast) const { std::free(broadcast); }
};

// A device-interface broadcast sized for `name`, as the system sends it.
std::unique_ptr<DEV_BROADCAST_DEVICEINTERFACE_A, BroadcastDeleter> MakeBroadcast(const std::string& name) {
  constexpr std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  const std::size_t size = std::max(kNameOffset + name.size() + 1, sizeof(DEV_BROADCAST_DEVICEINTERFACE_A));
  void* storage = std::calloc(1, size);
  if (storage == nullptr) return nullptr;
  std::unique_ptr<DEV_BROADCAST_DEVICEINTERFACE_A, BroadcastDeleter> broadcast(
      static_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(storage));
  broadcast->dbcc_size = static_cast<DWORD>(size);
  broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  broadcast->dbcc_reserved = 0;
  broadcast->dbcc_classguid = GUID_DEVINTERFACE_PEN;
  std::memcpy(static_cast<char*>(storage) + kNameOffset, name.c_str(), name.size() + 1);
  return broadcast;
}

}  // namespace

void SendPenInterfaceChange(HWND window, WPARAM type, const std::string& name) {
  const auto broadcast = MakeBroadcast(name);
  if (broadcast) SendMessageA(window, WM_DEVICECHANGE, type, reinterpret_cast<LPARAM>(broadcast.get()));
}

int CountPenDevices() {
  try {
    return virtualpen::VirtualBus::Instance()->PluggedCount();
  } catch (const std::exception&) {
    Diagnostic(pen_channel::kNoDeviceInfoSet);
    return 0;
  }
}

HANDLE OpenPenDriver(std::string& interfacePath) {
  interfacePath.clear();
  try {
    auto link = virtualpen::VirtualBus::Instance()->Open(&interfacePath);
    if (interfacePath.empty()) {
      Diagnostic(pen_channel::kNoInterfaceData);
      return nullptr;
    }
    // Named even when the open failed: the device watch matches removals by it.
    pen_channel::NameInterface(interfacePath);
    return link ? Handles().Add(std::move(link)) : nullptr;
  } catch (const std::exception&) {
    return nullptr;
  }
}

HANDLE OpenPenInterface(const std::string& interfacePath) {
  pen_channel::NameInterface(interfacePath);
  try {
    auto link = virtualpen::VirtualBus::Instance()->OpenInterface(interfacePath);
    return link ? Handles().Add(std::move(link)) : nullptr;
  } catch (const std::exception&) {
    return nullptr;
  }
}

std::uint32_t ReadDeviceDescriptor(HANDLE handle, std::uint8_t* descriptor) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  if (descriptor == nullptr) return ERROR_INVALID_PARAMETER;
  const auto link = Handles().Find(handle);
  if (!link) return ERROR_INVALID_HANDLE;
  virtualpen::DeviceDescriptor read{};
  const DWORD result = TransferResult(link->ReadDescriptor(read, kRequestWait));
  if (result == ERROR_SUCCESS) std::memcpy(descriptor, read.data(), read.size());
  return result;
}

std::uint32_t SendRestartCommand(HANDLE handle) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  const std::uint8_t restart = RESTART_BYTE;
  return Send(handle, &restart, 1);
}

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  return Send(handle, data, count);
}

std::uint32_t ReadPenData(HANDLE handle, std::uint8_t* buffer, std::uint32_t* received) {
  if (received == nullptr || buffer == nullptr) return ERROR_INVALID_PARAMETER;
  *received = 0;
  const auto link = Handles().Find(handle);
  if (!link) return ERROR_INVALID_HANDLE;
  return Guarded([&]() -> DWORD {
    std::size_t count = 0;
    switch (link->Receive(buffer, kPenReceiveBufferSize, &count)) {
      case PenLink::Result::Ok:
        *received = static_cast<std::uint32_t>(count);
        // An empty transfer is a failed read, with the code the Windows backend
        // gives it: neither success nor the pen's departure.
        return count > 0 ? ERROR_SUCCESS : ERROR_IO_PENDING;
      case PenLink::Result::NotConnected:
        return ERROR_DEVICE_NOT_CONNECTED;
      case PenLink::Result::Closed:
        return ERROR_OPERATION_ABORTED;
      case PenLink::Result::TimedOut:  // no limit is asked for
      case PenLink::Result::Abandoned:
        break;
    }
    return ERROR_GEN_FAILURE;
  });
}

void ClosePenDriver(HANDLE handle) {
  if (const auto link = Handles().Remove(handle)) link->Close();
}

HDEVNOTIFY RegisterPenInterfaceNotifications(HWND window) {
  if (window == nullptr) return nullptr;
  try {
    const auto id = virtualpen::VirtualBus::Instance()->Subscribe(
        [window](virtualpen::DeviceEvent event, const std::string& name) {
          SendPenInterfaceChange(
              window, event == virtualpen::DeviceEvent::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, name);
        });
    return reinterpret_cast<HDEVNOTIFY>(static_cast<std::uintptr_t>(id));
  } catch (const std::exception&) {
    return nullptr;
  }
}

// The bus records what crosses it, as a driver would see it.
bool RecordPenTraffic(const char* path) {
  return path != nullptr && virtualpen::VirtualBus::Instance()->StartRecord(path);
}

void ReportUpgradeFailure(const char* reason) {
  if (reason == nullptr) return;
  pen_channel::PrintUpgradeFailure(reason);
  virtualpen::VirtualBus::Instance()->RecordFailure(reason);
}

std::string IncompleteTrafficRecord() { return virtualpen::VirtualBus::Instance()->IncompleteRecord(); }

void RecordPenInterfaceChange(bool, const std::string&) {}  // the bus records what crosses it

void UnregisterPenInterfaceNotifications(HDEVNOTIFY notification) {
  if (notification == nullptr) return;
  // No wait for a delivery under way: it may be a SendMessageA blocked on the very
  // window thread that is unregistering.
  virtualpen::VirtualBus::Instance()->Unsubscribe(reinterpret_cast<std::uintptr_t>(notification),
                                                  false);
}
