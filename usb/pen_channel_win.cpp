// The driver channel over the real system: Setup API discovery of the pen's
// interface class, and one overlapped DeviceIoControl per transfer.
#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>

#include "usb/pen_channel.h"

#include <setupapi.h>

#include "afx/time_scale.h"
#include "record/traffic_record.h"
#include "usb/pen_channel_shared.h"

using pen_channel::Diagnostic;
using record::TrafficRecord;

namespace {

constexpr DWORD kDiscoveryFlags = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;

// How long a finished request's event is waited for before it is closed. After an
// immediate failure nothing will set it, so this costs the whole limit.
constexpr DWORD kFinalWaitMs = 1000;

DWORD ScaledMilliseconds(DWORD milliseconds) {
  const auto scaled = std::chrono::ceil<std::chrono::milliseconds>(afx::Scaled(milliseconds));
  return static_cast<DWORD>(scaled.count());
}

// INVALID_HANDLE_VALUE, said on the diagnostic output, when the set cannot be made.
HDEVINFO PresentPenInterfaces() {
  HDEVINFO set = SetupDiGetClassDevsA(&GUID_DEVINTERFACE_PEN, nullptr, nullptr, kDiscoveryFlags);
  if (set == INVALID_HANDLE_VALUE) Diagnostic(pen_channel::kNoDeviceInfoSet);
  return set;
}

// What the driver may write while a request is pending: its record, byte count
// and buffer (the request's input or output), with the event the completion sets,
// in one heap block that the request owns. Freed once the request has completed;
// a request abandoned to the driver leaves it, event and all, for good.
struct RequestBlock {
  OVERLAPPED overlapped;
  DWORD transferred;
  std::uint8_t* Bytes() { return reinterpret_cast<std::uint8_t*>(this + 1); }
};

RequestBlock* NewRequestBlock(DWORD bytes) {
  return static_cast<RequestBlock*>(std::calloc(1, sizeof(RequestBlock) + bytes));
}

// The result of a request whose event is set: its completion status, or its error.
DWORD CompletedResult(HANDLE handle, RequestBlock& block, DWORD minimumOutput) {
  if (!GetOverlappedResult(handle, &block.overlapped, &block.transferred, TRUE)) return GetLastError();
  // A short descriptor would leave stale bytes where the caller reads the product.
  if (block.transferred < minimumOutput) return ERROR_GEN_FAILURE;
  // The completion status: 0, or an informational status passed on unchanged.
  return static_cast<DWORD>(block.overlapped.Internal);
}

// One control request that completes before the call returns (descriptor, restart,
// send), or is given up within the limits of pen_channel.h. `minimumOutput` is the
// byte count a completion must deliver to count as success; the output is copied
// to the caller only then.
DWORD RequestWithCompletionWait(HANDLE handle, DWORD code, const void* input, DWORD inputSize,
                                void* output, DWORD outputSize, DWORD minimumOutput) {
  RequestBlock* block = NewRequestBlock(inputSize > outputSize ? inputSize : outputSize);
  if (block == nullptr) return ERROR_NOT_ENOUGH_MEMORY;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  // Without an event of its own a request would signal the shared handle, which
  // the other threads' requests also use.
  if (event == nullptr) {
    const DWORD error = GetLastError();
    std::free(block);
    return error;
  }
  block->overlapped.hEvent = event;
  if (inputSize > 0) std::memcpy(block->Bytes(), input, inputSize);

  DWORD result = ERROR_SUCCESS;
  bool issued = true;
  if (!DeviceIoControl(handle, code, inputSize > 0 ? block->Bytes() : nullptr, inputSize,
                       outputSize > 0 ? block->Bytes() : nullptr, outputSize, &block->transferred,
                       &block->overlapped)) {
    result = GetLastError();
    if (result == ERROR_SUCCESS) {
      // A refusal that names no error: nothing went pending, so waiting for the
      // completion would wait forever.
      result = ERROR_GEN_FAILURE;
      issued = false;
    } else if (result != ERROR_IO_PENDING) {
      issued = false;
    }
  }
  if (issued) {
    // A wait that fails counts as one that ran out: the request may still be pending.
    if (WaitForSingleObject(event, ScaledMilliseconds(kRequestLimitMs)) == WAIT_OBJECT_0) {
      result = CompletedResult(handle, *block, minimumOutput);
    } else {
      CancelIoEx(handle, &block->overlapped);
      if (WaitForSingleObject(event, ScaledMilliseconds(kCancelLimitMs)) != WAIT_OBJECT_0) {
        // The driver still holds the request and may complete it at any time: it
        // keeps the block and the event.
        return kRequestTimeoutResult;
      }
      // Ended by the cancel, or completed just before it: then that result stands.
      result = CompletedResult(handle, *block, minimumOutput);
      if (result == ERROR_OPERATION_ABORTED) result = kRequestTimeoutResult;
    }
    if (result == ERROR_SUCCESS && outputSize > 0) std::memcpy(output, block->Bytes(), outputSize);
  }
  WaitForSingleObject(event, ScaledMilliseconds(kFinalWaitMs));
  CloseHandle(event);
  std::free(block);
  return result;
}

// The traffic record (RecordPenTraffic). Pens are named in it by the serial part
// of their interface path, ...#VID_xxxx&PID_xxxx#<serial>#{class}.
TrafficRecord traffic;
std::mutex recordMutex;
std::string recordedPen;              // the pen opened last
std::set<std::string> pluggedPaths;   // in lower case, as the system's names differ in case

std::string PenName(const std::string& path) {
  const auto second = path.find('#', path.find('#') + 1);
  const auto third = second == std::string::npos ? std::string::npos : path.find('#', second + 1);
  return third == std::string::npos ? path : path.substr(second + 1, third - second - 1);
}

std::string RecordedPen() {
  std::lock_guard<std::mutex> lock(recordMutex);
  return recordedPen;
}

// A plug the first time an interface is seen since its removal, an unplug on removal.
void RecordPresence(const std::string& path, bool present) {
  std::lock_guard<std::mutex> lock(recordMutex);
  std::string key = path;
  for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (!present) {
    pluggedPaths.erase(key);
    traffic.Event("unplug", PenName(path));
  } else if (pluggedPaths.insert(key).second) {
    traffic.Event("plug", PenName(path), path);
  }
}

// Opens `path` for overlapped I/O, shared, as the driver expects; null on failure.
HANDLE OpenInterfacePath(const std::string& path) {
  pen_channel::NameInterface(path);
  if (traffic.IsOn()) {
    RecordPresence(path, true);
    std::lock_guard<std::mutex> lock(recordMutex);
    recordedPen = PenName(path);
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

bool RecordPenTraffic(const char* path) {
  if (path == nullptr || !traffic.Start(path)) return false;
  std::lock_guard<std::mutex> lock(recordMutex);
  pluggedPaths.clear();  // a new record has seen no pen yet
  return true;
}

int CountPenDevices() {
  HDEVINFO set = PresentPenInterfaces();
  if (set == INVALID_HANDLE_VALUE) return 0;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  int count = 0;
  while (SetupDiEnumDeviceInfo(set, static_cast<DWORD>(count), &device)) ++count;
  SetupDiDestroyDeviceInfoList(set);
  return count;
}

namespace {

// The device path of the set's interface `interfaceData`; false when it cannot be had.
bool InterfaceDetailPath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& interfaceData, std::string& path) {
  // This call fails by design: it only reports the size the detail record needs.
  DWORD requiredSize = 0;
  SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, nullptr, 0, &requiredSize, nullptr);
  // A size that cannot even hold the fixed part means the size call itself failed.
  if (requiredSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) return false;
  auto* detail = static_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(std::malloc(requiredSize));
  if (detail == nullptr) return false;
  // cbSize names the layout version (the fixed part), not the allocation.
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
  const bool found = SetupDiGetDeviceInterfaceDetailA(set, &interfaceData, detail, requiredSize, nullptr, nullptr);
  if (found) path = detail->DevicePath;
  std::free(detail);
  return found;
}

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

HANDLE OpenPenDriver(std::string& interfacePath) {
  interfacePath.clear();
  HDEVINFO set = PresentPenInterfaces();
  if (set == INVALID_HANDLE_VALUE) return nullptr;
  // Only the first interface is ever opened; the callers open only when the
  // count says there is exactly one pen.
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  if (!SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_PEN, 0, &interfaceData)) {
    Diagnostic(pen_channel::kNoInterfaceData);
    SetupDiDestroyDeviceInfoList(set);
    return nullptr;
  }
  const bool named = InterfaceDetailPath(set, interfaceData, interfacePath);
  SetupDiDestroyDeviceInfoList(set);
  // Named even when the open fails: the device watch matches removals by it.
  return named ? OpenInterfacePath(interfacePath) : nullptr;
}

// Only a present interface of the class: a path from a late notification may
// name one that is gone, and its file may still open.
HANDLE OpenPenInterface(const std::string& interfacePath) {
  HDEVINFO set = PresentPenInterfaces();
  if (set == INVALID_HANDLE_VALUE) return nullptr;
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof(interfaceData);
  bool present = false;
  for (DWORD index = 0; !present && SetupDiEnumDeviceInterfaces(set, nullptr, &GUID_DEVINTERFACE_PEN, index,
                                                                &interfaceData);
       ++index) {
    std::string path;
    present = InterfaceDetailPath(set, interfaceData, path) && EqualIgnoringCase(path, interfacePath);
  }
  SetupDiDestroyDeviceInfoList(set);
  if (!present) {
    pen_channel::NameInterface(interfacePath);
    return nullptr;
  }
  return OpenInterfacePath(interfacePath);
}

// A completion with fewer than 18 bytes fails: the caller would read stale bytes.
std::uint32_t ReadDeviceDescriptor(HANDLE handle, std::uint8_t* descriptor) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  const DWORD result = RequestWithCompletionWait(handle, IOCTL_PEN_GET_DEVICE_DESCRIPTOR, nullptr, 0,
                                                 descriptor, kDeviceDescriptorSize, kDeviceDescriptorSize);
  if (result == ERROR_SUCCESS && traffic.IsOn()) traffic.Descriptor(RecordedPen(), descriptor, kDeviceDescriptorSize);
  return result;
}

// Like every request here, one the driver refuses at once returns its error only
// after the final wait (up to 1 s).
std::uint32_t SendRestartCommand(HANDLE handle) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  const std::uint8_t restart = RESTART_BYTE;
  const bool recording = traffic.IsOn();
  if (recording) traffic.Packet(TrafficRecord::Direction::ToPen, RecordedPen(), &restart, sizeof(restart));
  const DWORD result = RequestWithCompletionWait(handle, IOCTL_PEN_SEND, &restart, sizeof(restart), nullptr, 0, 0);
  if (recording && result == ERROR_SUCCESS) traffic.Event("restart", RecordedPen());
  return result;
}

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  if (traffic.IsOn()) traffic.Packet(TrafficRecord::Direction::ToPen, RecordedPen(), data, count);
  return RequestWithCompletionWait(handle, IOCTL_PEN_SEND, data, count, nullptr, 0, 0);
}

// `received` is the message's length when the result is 0, and 0 otherwise. No
// final wait: a failure returns at once.
std::uint32_t ReadPenData(HANDLE handle, std::uint8_t* buffer, std::uint32_t* received) {
  *received = 0;
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return GetLastError();

  OVERLAPPED overlapped{};
  overlapped.hEvent = event;
  DWORD count = 0;
  if (!DeviceIoControl(handle, IOCTL_PEN_RECEIVE, nullptr, 0, buffer, kPenReceiveBufferSize,
                       &count, &overlapped)) {
    const DWORD error = GetLastError();
    if (error != ERROR_IO_PENDING) {
      CloseHandle(event);
      // See RequestWithCompletionWait: a refusal without a code is still a refusal.
      return error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
    }
  }

  DWORD result = ERROR_SUCCESS;
  if (WaitForSingleObject(event, INFINITE) != WAIT_OBJECT_0) {
    result = GetLastError();
  } else {
    count = 0;
    if (!GetOverlappedResult(handle, &overlapped, &count, TRUE)) {
      result = GetLastError();
    } else if (count == 0) {
      // An empty completion is a failed read, never a packet of length 0. Its code
      // is whatever the thread last recorded (ERROR_IO_PENDING after a request that
      // went pending); neither 0 nor the removal code may stand for it, as the
      // receive thread would take those for a packet or for the pen's departure.
      result = GetLastError();
      if (result == ERROR_SUCCESS || result == ERROR_DEVICE_NOT_CONNECTED) {
        result = ERROR_GEN_FAILURE;
      }
    }
    if (result == ERROR_SUCCESS) *received = count;
  }
  if (result == ERROR_SUCCESS && traffic.IsOn()) {
    traffic.Packet(TrafficRecord::Direction::FromPen, RecordedPen(), buffer, count);
  }
  CloseHandle(event);
  return result;
}

void ClosePenDriver(HANDLE handle) {
  if (handle == nullptr) return;
  // Closing alone ends a waiting receive only if the driver cancels its requests
  // on cleanup (Wine's device host never completes them at all); cancelling first
  // lets the receive thread stop whatever the driver does.
  CancelIoEx(handle, nullptr);
  CloseHandle(handle);
}

void ReportUpgradeFailure(const char* reason) {
  if (reason == nullptr) return;
  pen_channel::PrintUpgradeFailure(reason);
  traffic.Failure(reason);
}

std::string IncompleteTrafficRecord() { return traffic.Incomplete(); }

HDEVNOTIFY RegisterPenInterfaceNotifications(HWND window) {
  DEV_BROADCAST_DEVICEINTERFACE_A filter{};
  filter.dbcc_size = sizeof(filter);
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = GUID_DEVINTERFACE_PEN;
  return RegisterDeviceNotificationA(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void UnregisterPenInterfaceNotifications(HDEVNOTIFY notification) {
  if (notification != nullptr) UnregisterDeviceNotification(notification);
}

void RecordPenInterfaceChange(bool arrival, const std::string& interfacePath) {
  if (traffic.IsOn()) RecordPresence(interfacePath, arrival);
}
