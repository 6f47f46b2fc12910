#pragma once
// The device watch: keeps the tool connected to at most one pen, and is the one
// owner of the open pen: its handle, its interface name and its receive thread.
// It opens a pen when the dialog is created and on interface arrivals, checks
// that it is the supported product, and only then gives it to the upgrader. It
// closes the pen on its removal and lets go of it when the upgrader restarts it.
//
// One copy of the tool at a time has a pen: the watch opens one only while it
// holds the system-wide pen lock, which it keeps while a pen is open or an
// upgrade runs. A copy that cannot take it shows no pen and tries again at the
// next arrival.
//
// During an upgrade only a restart may bring the upgrader a new pen: the pen
// that comes back under the restarted pen's interface path, whatever else is
// plugged in; or, when it is the only pen of the class, a pen under another
// path, which the upgrader then checks by its identity block. Any other arrival
// is ignored, and the removal of the open pen leaves the upgrader without one,
// so that its current command fails as with a missing pen.
//
// Threads: OnCreate, OnDeviceChange, BeginUpgrade, EndUpgrade, PenHandle and the
// destructor run on the UI thread; RestartPen and RejectRestartedPen on the
// upgrade thread; ClosePenDevice and StopReceiveThread on either. The lock is
// held only to change the state, never across a request to the pen or a wait,
// so a notification is never kept waiting by a restart.
#include <atomic>
#include <string>

#include "afx/afxmt.h"
#include "afx/system_lock.h"
#include "afx/thread_annotations.h"
#include "afx/win_ui_types.h"
#include "tool/pen_lock_name.h"

class FirmwareUpgrader;
struct ReceiveThread;

// What the watch asks of the window that shows the pen (UI thread).
class PenDisplay {
 public:
  // The open pen (DeviceWatch::PenHandle) is the product this tool upgrades.
  virtual bool IsSupportedPen() = 0;
  // Shows whether a supported pen is ready to be upgraded.
  virtual void UpdateDeviceState(bool enable) = 0;

 protected:
  ~PenDisplay() = default;
};

class DeviceWatch {
 public:
  DeviceWatch(FirmwareUpgrader& upgrader, PenDisplay& display);
  // Stops the receive thread, closes the pen and unregisters the notifications.
  ~DeviceWatch();
  DeviceWatch(const DeviceWatch&) = delete;
  DeviceWatch& operator=(const DeviceWatch&) = delete;

  // The window is created: registers `window` for the pen's interface
  // notifications and opens the pen if exactly one is present.
  void OnCreate(HWND window);
  // WM_DEVICECHANGE: arrivals and the removal of the open pen (its name in any
  // letter case), as the class comment says. Always TRUE.
  BOOL OnDeviceChange(UINT eventType, DWORD_PTR data);

  // The open pen's handle, null when none: for its descriptor and the debug byte.
  HANDLE PenHandle() EXCLUDES(m_lock);

  // Start was clicked: from now until EndUpgrade only a restart changes the
  // upgrader's pen.
  void BeginUpgrade();
  // The dialog has seen the upgrade's outcome.
  void EndUpgrade() EXCLUDES(m_lock);

  // Closes the open pen and takes it from the upgrader.
  void ClosePenDevice() EXCLUDES(m_lock);
  // Stops the receive thread and closes the pen; waits up to 500 ms for the
  // thread, then abandons it (it never dispatches another packet). No-op when
  // no receive thread runs.
  void StopReceiveThread() EXCLUDES(m_lock);
  // The upgrader's restart: sends the restart request and lets go of the pen at
  // once, so that its return is seen as a new arrival; remembers its interface
  // path to know it again.
  void RestartPen() EXCLUDES(m_lock);
  // The upgrader found that the pen given back under another path is not the
  // restarted one: closes it and waits on for the restarted pen.
  void RejectRestartedPen() EXCLUDES(m_lock);

 private:
  void RegisterPenNotifications(HWND window);
  void OnArrival(const std::string& name) EXCLUDES(m_lock);
  void OnRemoval(const std::string& name) EXCLUDES(m_lock);
  void OnRestartedPenArrival(const std::string& name) EXCLUDES(m_lock);
  // UI thread: lets go of the pen lock once no pen is open and no upgrade runs.
  void ReleasePenLockIfIdle() EXCLUDES(m_lock);
  // Keeps `handle` (opened under `name`) when it is the supported product and
  // starts its receive thread; otherwise closes it. True when kept.
  bool CheckAndKeepPen(HANDLE handle, const std::string& name) EXCLUDES(m_lock);
  // Lets go of the open pen (only if it is on trial, when asked): its receive
  // thread stopped, the handle closed.
  void DropPen(bool onlyOnTrial = false) EXCLUDES(m_lock);
  // With m_lock held: takes the open pen out of the state (handle, name,
  // receive thread, the upgrader's handle) without closing anything.
  HANDLE DetachPenLocked() REQUIRES(m_lock);
  ReceiveThread* DetachReceiveThreadLocked() REQUIRES(m_lock);

  FirmwareUpgrader& m_upgrader;
  PenDisplay& m_display;
  CCriticalSection m_lock;  // taken before the upgrader's lock and the receive thread's dispatch lock
  HANDLE penHandle GUARDED_BY(m_lock) = nullptr;              // the open pen, null when none
  std::string penDeviceName GUARDED_BY(m_lock);               // its interface name, empty when none
  ReceiveThread* receiveThread GUARDED_BY(m_lock) = nullptr;  // its receive thread, null when none
  std::string m_restartedPath GUARDED_BY(m_lock);  // the restarted pen's interface path, while it is awaited
  bool m_onTrial GUARDED_BY(m_lock) = false;       // the open pen came back under another path
  // UI thread only (a Win32 mutex belongs to the thread that took it).
  SystemLock m_penLock{NIBFLASH_PEN_LOCK_NAME};
  std::atomic<bool> m_upgrading{false};
  HDEVNOTIFY m_hDeviceNotify = nullptr;
};
