#pragma once
// The device watch: keeps the tool connected to at most one pen. It opens the
// pen when the dialog is created and on every interface arrival, closes it on
// its removal, runs one receive thread per opening and lets go of the pen when
// the upgrader restarts it. It owns the pen's state (the channel's penHandle,
// the interface name, the receive thread) and the lock that guards it; the
// window that shows the pen sees only PenDisplay.
//
// Threads: OnCreate, OnDeviceChange and the destructor run on the UI thread;
// RestartPen on the upgrade thread; ClosePenDevice and StopReceiveThread on
// either. The lock is held only to change the state, never across a request to
// the pen or a wait, so a notification is never kept waiting by a restart.
#include "afx/afxmt.h"
#include "afx/win_ui_types.h"

class FirmwareUpgrader;
struct ReceiveThread;

// What the watch asks of the window that shows the pen (UI thread).
class PenDisplay {
 public:
  // The open pen is the product this tool upgrades.
  virtual bool IsSupportedPen() = 0;
  // Shows whether a supported pen is ready to be upgraded.
  virtual void UpdateDeviceState(bool enable) = 0;

 protected:
  ~PenDisplay() = default;
};

class DeviceWatch {
 public:
  // One watch per process: the upgrader's RestartPen callback reaches it.
  DeviceWatch(FirmwareUpgrader& upgrader, PenDisplay& display);
  // Stops the receive thread, closes the pen and unregisters the notifications.
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // The window is created: registers `window` for the pen's interface
  // notifications and opens the pen if exactly one is present.
  void OnCreate(HWND window);
  // WM_DEVICECHANGE: an arrival opens a pen when none is open; the removal of the
  // open pen (its name in any letter case) closes it. Always TRUE.
  BOOL OnDeviceChange(UINT eventType, DWORD_PTR data);

  // Closes the open pen and forgets its name and any DFU-mode announcement it made.
  void ClosePenDevice();
  // Stops the receive thread and closes the pen; waits up to 500 ms for the
  // thread, then abandons it (it never dispatches another packet). No-op when
  // no receive thread runs.
  void StopReceiveThread();
  // Sends the restart request and lets go of the pen at once, so that its return
  // is seen as a new arrival; waits for the old receive thread outside the lock.
  void RestartPen();

 private:
  void RegisterPenNotifications(HWND window);
  void OpenAndCheckPen(const char* nameSource, bool signalArrival);
  void StartReceiveThread();
  // With m_lock held: takes the open pen out of the state (handle, names,
  // receive thread, upgrader's handle and DFU signal) without closing anything.
  HANDLE DetachPenLocked();
  ReceiveThread* DetachReceiveThreadLocked();

  FirmwareUpgrader& m_upgrader;
  PenDisplay& m_display;
  CCriticalSection m_lock;
  char* penDeviceName = nullptr;          // interface name of the open pen, null when none
  ReceiveThread* receiveThread = nullptr;  // the open pen's receive thread, null when none
  HDEVNOTIFY m_hDeviceNotify = nullptr;
};
