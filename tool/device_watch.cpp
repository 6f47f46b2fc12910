#include "tool/device_watch.h"

#include <cstring>

#include "afx/system_lock.h"    // TEMP
#include "engine/firmware_upgrader.h"
#include "engine/upgrade_callbacks.h"
#include "tool/pen_lock_name.h"  // TEMP
#include "tool/receive_thread.h"
#include "usb/pen_channel.h"

namespace {

constexpr DWORD kReceiveThreadStopMs = 500;

// The process's watch, for the upgrader's restart callback.
DeviceWatch* currentWatch = nullptr;

char* CopyText(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

}  // namespace

// The upgrader's restart callback (upgrade thread).
void RestartPen() {
  if (currentWatch != nullptr) currentWatch->RestartPen();
}

DeviceWatch::DeviceWatch(FirmwareUpgrader& upgrader, PenDisplay& display) : m_upgrader(upgrader), m_display(display) {
  penHandle = nullptr;
  currentWatch = this;
}

DeviceWatch::~DeviceWatch() {
  StopReceiveThread();
  ClosePenDevice();  // also a pen whose receive thread could not be made
  if (m_hDeviceNotify != nullptr) {
    UnregisterPenInterfaceNotifications(m_hDeviceNotify);
    m_hDeviceNotify = nullptr;
  }
  if (currentWatch == this) currentWatch = nullptr;
}

void DeviceWatch::OnCreate(HWND window) {
  RegisterPenNotifications(window);
  OpenAndCheckPen(nullptr, false);
}

void DeviceWatch::RegisterPenNotifications(HWND window) { m_hDeviceNotify = RegisterPenInterfaceNotifications(window); }

// Opens the pen when exactly one device of the class is present and keeps it
// when it is the supported product. `nameSource` names the opened interface for
// matching removals (null: the path the open itself found, as at creation);
// `signalArrival` confirms a restart to the upgrade thread. Only the UI thread
// opens, so nothing else can have opened a pen meanwhile.
void DeviceWatch::OpenAndCheckPen(const char* nameSource, bool signalArrival) {
  if (CountPenDevices() != 1) return;
  static SystemLock temporaryPenLock(NIBFLASH_PEN_LOCK_NAME);  // TEMP: taken for good, until the watch holds it
  if (!temporaryPenLock.TryAcquire()) return;
  HANDLE handle = OpenPenDriver();
  {
    CSingleLock lock(&m_lock, TRUE);
    penHandle = handle;
    m_upgrader.driverHandle = handle;
  }
  if (handle == nullptr) return;
  if (!m_display.IsSupportedPen()) {
    ClosePenDevice();
    m_display.UpdateDeviceState(false);
    return;
  }
  {
    CSingleLock lock(&m_lock, TRUE);
    if (nameSource == nullptr) nameSource = devicePath;
    if (nameSource != nullptr && *nameSource != '\0') {
      delete[] penDeviceName;
      penDeviceName = CopyText(nameSource);
    }
  }
  StartReceiveThread();
  m_display.UpdateDeviceState(true);
  if (signalArrival) m_upgrader.restartedSignal.SetEvent();
}

BOOL DeviceWatch::OnDeviceChange(UINT eventType, DWORD_PTR data) {
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return TRUE;
  const char* name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data)->dbcc_name;
  if (eventType == DBT_DEVICEARRIVAL) {
    if (penHandle == nullptr) OpenAndCheckPen(name, true);  // an arrival while a pen is open is ignored
  } else if (eventType == DBT_DEVICEREMOVECOMPLETE) {
    HANDLE handle = nullptr;
    ReceiveThread* stopping = nullptr;
    {
      // The test and the let-go are one step: the upgrade thread may be letting
      // go of the same pen for a restart right now.
      CSingleLock lock(&m_lock, TRUE);
      if (penHandle == nullptr || penDeviceName == nullptr || !EqualIgnoringAsciiCase(name, penDeviceName)) {
        return TRUE;
      }
      stopping = DetachReceiveThreadLocked();
      handle = DetachPenLocked();
    }
    if (handle != nullptr) ClosePenDriver(handle);  // ends the receive thread's blocked read
    m_display.UpdateDeviceState(false);
    if (stopping != nullptr) EndReceiveThread(stopping, kReceiveThreadStopMs);
  }
  return TRUE;
}

HANDLE DeviceWatch::DetachPenLocked() {
  ReleaseDevicePath();
  delete[] penDeviceName;
  penDeviceName = nullptr;
  m_upgrader.driverHandle = nullptr;
  // An announcement describes the opening that made it, not the next one.
  m_upgrader.dfuModeSignal.ResetEvent();
  return penHandle.exchange(nullptr);
}

ReceiveThread* DeviceWatch::DetachReceiveThreadLocked() {
  ReceiveThread* detached = receiveThread;
  receiveThread = nullptr;
  if (detached != nullptr) RequestStop(*detached);
  return detached;
}

void DeviceWatch::ClosePenDevice() {
  HANDLE handle = nullptr;
  {
    CSingleLock lock(&m_lock, TRUE);
    handle = DetachPenLocked();
  }
  if (handle != nullptr) ClosePenDriver(handle);
}

void DeviceWatch::StartReceiveThread() {
  CSingleLock lock(&m_lock, TRUE);
  if (receiveThread != nullptr || penHandle == nullptr) return;
  receiveThread = BeginReceiveThread(penHandle, m_upgrader);
}

void DeviceWatch::StopReceiveThread() {
  HANDLE handle = nullptr;
  ReceiveThread* stopping = nullptr;
  {
    CSingleLock lock(&m_lock, TRUE);
    stopping = DetachReceiveThreadLocked();
    if (stopping == nullptr) return;
    handle = DetachPenLocked();
  }
  if (handle != nullptr) ClosePenDriver(handle);  // ends the blocked read
  EndReceiveThread(stopping, kReceiveThreadStopMs);
}

void DeviceWatch::RestartPen() {
  HANDLE handle = nullptr;
  ReceiveThread* stopping = nullptr;
  {
    // Let go first: a pen that is back before this returns must find no pen
    // open, or its arrival would be ignored and the restart never confirmed.
    CSingleLock lock(&m_lock, TRUE);
    stopping = DetachReceiveThreadLocked();
    handle = DetachPenLocked();
  }
  SendRestartCommand(handle);  // the result does not matter: the wait for the pen's return judges
  if (handle != nullptr) ClosePenDriver(handle);
  if (stopping != nullptr) EndReceiveThread(stopping, kReceiveThreadStopMs);
}
