#include "tool/device_watch.h"

#include "engine/firmware_upgrader.h"
#include "tool/receive_thread.h"
#include "usb/pen_channel.h"

namespace {

constexpr DWORD kReceiveThreadStopMs = 500;

bool EqualIgnoringAsciiCase(const std::string& a, const std::string& b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

DeviceWatch::DeviceWatch(FirmwareUpgrader& upgrader, PenDisplay& display) : m_upgrader(upgrader), m_display(display) {}

DeviceWatch::~DeviceWatch() {
  StopReceiveThread();
  ClosePenDevice();  // also a pen whose receive thread could not be made
  m_penLock.Release();
  if (m_hDeviceNotify != nullptr) {
    UnregisterPenInterfaceNotifications(m_hDeviceNotify);
    m_hDeviceNotify = nullptr;
  }
}

void DeviceWatch::OnCreate(HWND window) {
  RegisterPenNotifications(window);
  if (!m_penLock.TryAcquire()) return;  // another copy has a pen
  std::string path;
  HANDLE handle = CountPenDevices() == 1 ? OpenPenDriver(path) : nullptr;
  if (handle != nullptr && CheckAndKeepPen(handle, path)) m_upgrader.GivePen(handle);
  ReleasePenLockIfIdle();
}

void DeviceWatch::ReleasePenLockIfIdle() {
  if (!m_upgrading && PenHandle() == nullptr) m_penLock.Release();
}

void DeviceWatch::RegisterPenNotifications(HWND window) { m_hDeviceNotify = RegisterPenInterfaceNotifications(window); }

HANDLE DeviceWatch::PenHandle() {
  CSingleLock lock(&m_lock, TRUE);
  return penHandle;
}

bool DeviceWatch::CheckAndKeepPen(HANDLE handle, const std::string& name) {
  {
    CSingleLock lock(&m_lock, TRUE);
    penHandle = handle;  // the display reads its descriptor through PenHandle
    penDeviceName = name;
  }
  if (!m_display.IsSupportedPen()) {
    ClosePenDevice();
    m_display.UpdateDeviceState(false);
    return false;
  }
  {
    CSingleLock lock(&m_lock, TRUE);
    if (receiveThread == nullptr) receiveThread = BeginReceiveThread(handle, m_upgrader);
  }
  m_display.UpdateDeviceState(true);
  return true;
}

BOOL DeviceWatch::OnDeviceChange(UINT eventType, DWORD_PTR data) {
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(data);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return TRUE;
  const std::string name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data)->dbcc_name;
  if (eventType == DBT_DEVICEARRIVAL) {
    RecordPenInterfaceChange(true, name);  // before the traffic it leads to
    OnArrival(name);
  } else if (eventType == DBT_DEVICEREMOVECOMPLETE) {
    RecordPenInterfaceChange(false, name);
    OnRemoval(name);
  }
  return TRUE;
}

// Only the UI thread opens, so nothing else can open a pen meanwhile.
void DeviceWatch::OnArrival(const std::string& name) {
  {
    CSingleLock lock(&m_lock, TRUE);
    if (!m_restartedPath.empty()) {
      lock.Unlock();
      return OnRestartedPenArrival(name);
    }
    // During an upgrade the upgrader keeps what it has; otherwise a pen is
    // opened only while none is, and only when it is the only one present.
    if (m_upgrading || penHandle != nullptr) return;
  }
  if (!m_penLock.TryAcquire()) return;  // another copy has a pen
  std::string path;
  HANDLE handle = CountPenDevices() == 1 ? OpenPenDriver(path) : nullptr;
  if (handle != nullptr && CheckAndKeepPen(handle, name)) m_upgrader.GivePen(handle);
  ReleasePenLockIfIdle();
}

void DeviceWatch::OnRestartedPenArrival(const std::string& name) {
  bool sameInterface = false;
  {
    CSingleLock lock(&m_lock, TRUE);
    if (m_restartedPath.empty()) return;  // confirmed meanwhile
    sameInterface = EqualIgnoringAsciiCase(name, m_restartedPath);
    // Another path: only while nothing is open, as the only pen of the class.
    if (!sameInterface && penHandle != nullptr) return;
  }
  if (!m_penLock.TryAcquire()) return;  // held since the pen was first opened; never given up meanwhile
  if (sameInterface) {
    DropPen();  // a pen on trial gives way to the restarted one
  } else if (CountPenDevices() != 1) {
    return;
  }
  HANDLE handle = OpenPenInterface(name);
  if (handle == nullptr || !CheckAndKeepPen(handle, name)) return;
  {
    CSingleLock lock(&m_lock, TRUE);
    if (sameInterface) m_restartedPath.clear();
    m_onTrial = !sameInterface;
  }
  m_upgrader.PenBack(handle, sameInterface);
}

void DeviceWatch::OnRemoval(const std::string& name) {
  HANDLE handle = nullptr;
  ReceiveThread* stopping = nullptr;
  {
    // The test and the let-go are one step: the upgrade thread may be letting
    // go of the same pen for a restart right now.
    CSingleLock lock(&m_lock, TRUE);
    if (penHandle == nullptr || penDeviceName.empty() || !EqualIgnoringAsciiCase(name, penDeviceName)) return;
    stopping = DetachReceiveThreadLocked();
    handle = DetachPenLocked();
  }
  if (handle != nullptr) ClosePenDriver(handle);  // ends the receive thread's blocked read
  m_display.UpdateDeviceState(false);
  if (stopping != nullptr) EndReceiveThread(stopping, kReceiveThreadStopMs);
  ReleasePenLockIfIdle();
}

void DeviceWatch::BeginUpgrade() { m_upgrading = true; }

void DeviceWatch::EndUpgrade() {
  m_upgrading = false;
  {
    CSingleLock lock(&m_lock, TRUE);
    m_restartedPath.clear();
  }
  ReleasePenLockIfIdle();
}

HANDLE DeviceWatch::DetachPenLocked() {
  penDeviceName.clear();
  m_onTrial = false;
  m_upgrader.TakePen();
  const HANDLE handle = penHandle;
  penHandle = nullptr;
  return handle;
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

void DeviceWatch::DropPen(bool onlyOnTrial) {
  HANDLE handle = nullptr;
  ReceiveThread* stopping = nullptr;
  {
    CSingleLock lock(&m_lock, TRUE);
    if (onlyOnTrial && !m_onTrial) return;
    stopping = DetachReceiveThreadLocked();
    handle = DetachPenLocked();
  }
  if (handle != nullptr) ClosePenDriver(handle);  // ends the blocked read
  if (stopping != nullptr) EndReceiveThread(stopping, kReceiveThreadStopMs);
}

void DeviceWatch::StopReceiveThread() {
  {
    CSingleLock lock(&m_lock, TRUE);
    if (receiveThread == nullptr) return;
  }
  DropPen();
  ReleasePenLockIfIdle();  // no-op off the UI thread
}

void DeviceWatch::RestartPen() {
  HANDLE handle = nullptr;
  ReceiveThread* stopping = nullptr;
  {
    // Let go first: a pen that is back before this returns must find no pen
    // open, or its arrival would be ignored and the restart never confirmed.
    CSingleLock lock(&m_lock, TRUE);
    m_restartedPath = penDeviceName;  // empty when the pen is already gone: nothing is awaited then
    stopping = DetachReceiveThreadLocked();
    handle = DetachPenLocked();
  }
  SendRestartCommand(handle);  // the result does not matter: the wait for the pen's return judges
  if (handle != nullptr) ClosePenDriver(handle);
  if (stopping != nullptr) EndReceiveThread(stopping, kReceiveThreadStopMs);
}

// A pen on trial may already have given way to the restarted pen itself.
void DeviceWatch::RejectRestartedPen() { DropPen(true); }
