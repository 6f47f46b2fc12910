#pragma once
// Process-wide state shared by the dialog, the device watch and the two worker
// threads. The flags are only stored by their writers and polled by the dialog's
// timer; atomics make that polling well-defined.
#include <atomic>
#include <cstdint>

#include "afx/afxmt.h"

class FirmwareUpgrader;
struct ReceiveThread;

extern char* penDeviceName;                // interface name of the open pen, null when none
extern ReceiveThread* receiveThread;       // the running receive thread, null when none
extern FirmwareUpgrader* activeUpgrader;   // the dialog's upgrader, for the receive thread
extern CMutex dispatchLock;                // held for each packet's dispatch; taken before upgraderLock

extern std::atomic<bool> upgradeRunning;   // Upgrade is running
extern std::atomic<bool> upgradeDone;      // Upgrade returned normally
extern std::atomic<bool> upgradeFailed;    // an UpgradeToolException ended the upgrade or a dispatch
extern std::atomic<std::int32_t> progressPermille;  // 0..1000
