#pragma once
// What the upgrader asks of the program around it during one Upgrade: the tool's
// device watch and upgrade thread, or a test. Every call comes from the upgrade
// thread.
#include <cstdint>

class UpgradeHost {
 public:
  // The restart callback: sends the restart byte and lets go of the pen (receive
  // thread stopped, pen closed); returns without waiting for the pen's return,
  // which comes back through FirmwareUpgrader::PenBack.
  virtual void RestartPen() = 0;
  // The progress callback: `done` of `total` units (total > 0).
  virtual void ReportProgress(std::int32_t done, std::int32_t total) = 0;
  // The pen given back after a restart under another interface path is not the
  // one restarted (its identity block differs): let go of it, unwritten, and
  // keep waiting for the restarted pen.
  virtual void RejectRestartedPen() = 0;

 protected:
  ~UpgradeHost() = default;
};
