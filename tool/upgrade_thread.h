#pragma once
// The upgrade thread: runs the upgrader's sequence once per Start click and
// leaves its outcome in upgradeDone or upgradeFailed (tool_state.h).
#include <cstdint>

#include "afx/afxmt.h"
#include "afx/thread.h"

class DeviceWatch;
class FirmwareUpgrader;

// Starts the thread at normal priority (created suspended, then resumed); the
// upgrader restarts the pen through `watch`. The returned object stays valid
// until the caller deletes it after WaitForEnd.
CWinThread* BeginUpgradeThread(FirmwareUpgrader& upgrader, DeviceWatch& watch);

// The progress callback: stores done * 1000 / total, clamped to 0..1000, for
// the dialog's timer. A total of 0 or less changes nothing.
void ReportProgress(std::int32_t done, std::int32_t total);
