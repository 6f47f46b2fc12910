#pragma once
// The upgrade's outcome and progress, shared by the upgrade thread (and the
// receive thread, for a failed dispatch) with the dialog's timer, which polls
// them. Each is stored by its writers and only read by the timer and
// UpdateDeviceState; atomics make that polling well-defined.
#include <atomic>
#include <cstdint>
#include <string>

extern std::atomic<bool> upgradeRunning;   // Upgrade is running
extern std::atomic<bool> upgradeDone;      // Upgrade returned normally
extern std::atomic<bool> upgradeFailed;    // an UpgradeToolException ended the upgrade or a dispatch
extern std::atomic<std::int32_t> progressPermille;  // 0..1000

// Marks the upgrade failed, keeping the exception's text for the failure report.
void SetUpgradeFailed(const std::string& reason);
// The text of the last failure; empty when none since the last ClearUpgradeOutcome.
std::string UpgradeFailureReason();
// Forgets the previous run's outcome and progress before a new one starts.
void ClearUpgradeOutcome();
