#pragma once
// The upgrade's outcome and progress, shared by the upgrade thread (and the
// receive thread, for a failed dispatch) with the dialog's timer, which polls
// them. Each is stored by its writers and only read by the timer and
// UpdateDeviceState; atomics make that polling well-defined.
#include <atomic>
#include <cstdint>

extern std::atomic<bool> upgradeRunning;   // Upgrade is running
extern std::atomic<bool> upgradeDone;      // Upgrade returned normally
extern std::atomic<bool> upgradeFailed;    // an UpgradeToolException ended the upgrade or a dispatch
extern std::atomic<std::int32_t> progressPermille;  // 0..1000
