#include "tool/tool_state.h"

#include <mutex>

std::atomic<bool> upgradeRunning{false};
std::atomic<bool> upgradeDone{false};
std::atomic<bool> upgradeFailed{false};
std::atomic<std::int32_t> progressPermille{0};

namespace {
std::mutex reasonMutex;
std::string failureReason;  // guarded by reasonMutex
}  // namespace

void SetUpgradeFailed(const std::string& reason) {
  {
    std::lock_guard<std::mutex> lock(reasonMutex);
    failureReason = reason;
  }
  upgradeFailed = true;  // after the text: a tick that sees the flag finds it
}

std::string UpgradeFailureReason() {
  std::lock_guard<std::mutex> lock(reasonMutex);
  return failureReason;
}

void ClearUpgradeOutcome() {
  {
    std::lock_guard<std::mutex> lock(reasonMutex);
    failureReason.clear();
  }
  upgradeDone = false;
  upgradeFailed = false;
  progressPermille = 0;
}
