// The device watch: opens the one supported pen when the dialog is created and
// on every interface arrival, closes it on its removal, and runs one receive
// thread per opening.
#include "tool/device_watch.h"

#include <cstring>
#include <memory>

#include "engine/upgrade_callbacks.h"
#include "tool/nibflash_dlg.h"
#include "tool/receive_thread.h"
#include "tool/tool_state.h"
#include "usb/pen_channel.h"

namespace {

// Serialises ClosePenDevice and StopReceiveThread between the UI thread and the
// upgrade thread (RestartPen). Recursive: StopReceiveThread closes the pen.
CCriticalSection deviceLock;

char* CopyText(const char* text) {
  const std::size_t size = std::strlen(text) + 1;
  char* copy = new char[size];
  std::memcpy(copy, text, size);
  return copy;
}

bool EqualIgnoringAsciiCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(*a) != lower(*b)) return false;
  }
  return *a == *b;
}

}  // namespace

void ClosePenDevice() {
  CSingleLock serial(&deviceLock, TRUE);
  ReleaseDevicePath();
  if (HANDLE handle = penHandle.exchange(nullptr)) ClosePenDriver(handle);
  if (activeUpgrader != nullptr) {
    activeUpgrader->driverHandle = nullptr;
    // An announcement describes the opening that made it, not the next one.
    activeUpgrader->dfuModeSignal.ResetEvent();
  }
  delete[] penDeviceName;
  penDeviceName = nullptr;
}

void StartReceiveThread() {
  CSingleLock serial(&deviceLock, TRUE);
  if (receiveThread != nullptr) return;
  receiveThread = BeginReceiveThread(penHandle);
}

void StopReceiveThread() {
  CSingleLock serial(&deviceLock, TRUE);
  if (receiveThread == nullptr) return;
  ReceiveThread* stopping = receiveThread;
  RequestStop(*stopping);
  if (penHandle != nullptr) ClosePenDevice();  // ends the blocked read
  EndReceiveThread(stopping, 500);
  receiveThread = nullptr;
}

// The upgrader's restart callback: asks the pen to restart and lets go of it;
// the arrival of its interface reopens it and confirms the restart. Held as one
// step against the device watch: a pen that comes back quickly must find its old
// opening closed, or its arrival would be ignored and the restart never confirmed.
void RestartPen() {
  CSingleLock serial(&deviceLock, TRUE);
  SendRestartCommand();
  StopReceiveThread();
}

void CNibflashDlg::RegisterPenNotifications() {
  m_hDeviceNotify = RegisterPenInterfaceNotifications(m_hWnd);
}

int CNibflashDlg::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  RegisterPenNotifications();
  OpenAndCheckPen(nullptr, false);
  return 0;
}

// Opens the pen when exactly one device of the class is present and keeps it
// when it is the supported product. `nameSource` names the opened interface for
// matching removals (null: the path the open itself found, as at creation);
// `signalArrival` confirms a restart to the upgrade thread.
void CNibflashDlg::OpenAndCheckPen(const char* nameSource, bool signalArrival) {
  if (CountPenDevices() != 1) return;
  HANDLE handle = OpenPenDriver();
  {
    CSingleLock serial(&deviceLock, TRUE);
    penHandle = handle;
    m_upgrader.driverHandle = handle;
  }
  if (handle == nullptr) return;
  if (nameSource == nullptr) nameSource = devicePath;
  char* name = nameSource != nullptr && *nameSource != '\0' ? CopyText(nameSource) : nullptr;
  if (IsSupportedPen()) {
    if (name != nullptr) {
      delete[] penDeviceName;
      penDeviceName = name;
    }
    StartReceiveThread();
    UpdateDeviceState(true);
    if (signalArrival) m_upgrader.restartedSignal.SetEvent();
  } else {
    delete[] name;
    ClosePenDevice();
    UpdateDeviceState(false);
  }
}

BOOL CNibflashDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
  const auto* header = reinterpret_cast<const DEV_BROADCAST_HDR*>(dwData);
  if (header == nullptr || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) return TRUE;
  const char* name = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(dwData)->dbcc_name;
  if (nEventType == DBT_DEVICEARRIVAL) {
    CSingleLock serial(&deviceLock, TRUE);  // not while RestartPen is letting go of the pen
    if (penHandle == nullptr) OpenAndCheckPen(name, true);
  } else if (nEventType == DBT_DEVICEREMOVECOMPLETE) {
    // Held across the test and the close: the upgrade thread may be closing the
    // same pen for a restart right now.
    CSingleLock serial(&deviceLock, TRUE);
    if (penHandle != nullptr && penDeviceName != nullptr && EqualIgnoringAsciiCase(name, penDeviceName)) {
      StopReceiveThread();
      UpdateDeviceState(false);
      ClosePenDevice();
    }
  }
  return TRUE;
}
