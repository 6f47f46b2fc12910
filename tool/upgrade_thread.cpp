#include "tool/upgrade_thread.h"

#include <algorithm>
#include <memory>

#include "engine/firmware_upgrader.h"
#include "engine/upgrade_tool_exception.h"
#include "tool/device_watch.h"
#include "tool/tool_state.h"

namespace {

// One run of the upgrade: the upgrader reaches the watch and the dialog's
// progress through it.
class UpgradeRun final : public UpgradeHost {
 public:
  UpgradeRun(FirmwareUpgrader& upgrader, DeviceWatch& watch) : m_upgrader(upgrader), m_watch(watch) {}

  void Run() {
    upgradeDone = false;
    upgradeRunning = true;
    try {
      m_upgrader.Upgrade(*this);
      upgradeDone = true;
      upgradeFailed = false;
      upgradeRunning = false;
    } catch (const UpgradeToolException& failure) {
      SetUpgradeFailed(failure.Message());
      upgradeRunning = false;
    }
  }

  void RestartPen() override { m_watch.RestartPen(); }
  void ReportProgress(std::int32_t done, std::int32_t total) override { ::ReportProgress(done, total); }
  void RejectRestartedPen() override { m_watch.RejectRestartedPen(); }

 private:
  FirmwareUpgrader& m_upgrader;
  DeviceWatch& m_watch;
};

UINT UpgradeThreadProc(void* parameter) {
  std::unique_ptr<UpgradeRun> run(static_cast<UpgradeRun*>(parameter));
  run->Run();
  return 0;
}

}  // namespace

CWinThread* BeginUpgradeThread(FirmwareUpgrader& upgrader, DeviceWatch& watch) {
  auto* run = new UpgradeRun(upgrader, watch);
  CWinThread* thread = AfxBeginThread(UpgradeThreadProc, run, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
  if (thread == nullptr) {
    delete run;
    return nullptr;
  }
  thread->m_bAutoDelete = FALSE;
  thread->ResumeThread();
  return thread;
}

void ReportProgress(std::int32_t done, std::int32_t total) {
  if (total <= 0) return;
  const std::int32_t permille = static_cast<std::int32_t>(static_cast<std::int64_t>(done) * 1000 / total);
  progressPermille = std::min(std::max(permille, 0), 1000);
}
