#pragma once
// The upgrade run: one per dialog, it runs the upgrader's sequence on its own
// thread once per Start click and keeps the outcome the dialog's timer polls.
#include <cstdint>

#include "afx/afxmt.h"
#include "afx/thread.h"
#include "engine/upgrade_host.h"
#include "tool/upgrade_outcome.h"

class DeviceWatch;
class FirmwareUpgrader;

class UpgradeRun final : public UpgradeHost {
 public:
  // The upgrader restarts the pen through `watch`.
  UpgradeRun(FirmwareUpgrader& upgrader, DeviceWatch& watch) : m_upgrader(upgrader), m_watch(watch) {}
  // Waits for the thread: it must never reach the upgrader after the dialog is gone.
  ~UpgradeRun();
  UpgradeRun(const UpgradeRun&) = delete;
  UpgradeRun& operator=(const UpgradeRun&) = delete;

  // Waits for the previous run's thread (its outcome was seen, so it has ended
  // or is ending), marks the run running and starts the thread at normal
  // priority. False when no thread can be made: the run has then failed.
  bool Start();

  UpgradeOutcome Outcome() const { return m_outcome.Read(); }
  bool IsRunning() const { return m_outcome.IsRunning(); }

  void RestartPen() override;
  // The progress callback, in thousandths for the dialog's timer.
  void ReportProgress(std::int32_t done, std::int32_t total) override { m_outcome.ReportProgress(done, total); }
  void RejectRestartedPen() override;

 private:
  static UINT UpgradeThreadProc(void* parameter);
  void EndThread();

  FirmwareUpgrader& m_upgrader;
  DeviceWatch& m_watch;
  SharedOutcome m_outcome;
  CWinThread* m_thread = nullptr;  // the last run's, until the next Start or the end
};
