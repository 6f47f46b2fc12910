#include "tool/upgrade_thread.h"

#include <algorithm>

#include "engine/firmware_upgrader.h"
#include "engine/upgrade_callbacks.h"
#include "engine/upgrade_tool_exception.h"
#include "tool/tool_state.h"

namespace {

UINT UpgradeThreadProc(void* parameter) {
  auto* upgrader = static_cast<FirmwareUpgrader*>(parameter);
  upgradeDone = false;
  upgradeRunning = true;
  try {
    upgrader->Upgrade();
    upgradeDone = true;
    upgradeFailed = false;
    upgradeRunning = false;
  } catch (const UpgradeToolException&) {
    upgradeFailed = true;
    upgradeRunning = false;
  }
  return 0;
}

}  // namespace

CWinThread* BeginUpgradeThread(FirmwareUpgrader& upgrader) {
  CWinThread* thread = AfxBeginThread(UpgradeThreadProc, &upgrader, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (thread == nullptr) return nullptr;
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  return thread;
}

// The upgrader's progress callback: thousandths for the dialog's timer.
void ReportProgress(std::int32_t done, std::int32_t total) {
  if (total <= 0) return;
  const std::int32_t permille = static_cast<std::int32_t>(static_cast<std::int64_t>(done) * 1000 / total);
  progressPermille = std::min(std::max(permille, 0), 1000);
}
