#pragma once
// What one upgrade run has come to, as the dialog's timer and UpdateDeviceState
// see it.
#include <cstdint>
#include <mutex>
#include <string>

struct UpgradeOutcome {
  enum class State { Idle, Running, Done, Failed };
  State state = State::Idle;
  std::string failure;        // Failed only: the exception's text, for the failure report
  std::int32_t permille = 0;  // progress, 0..1000
};

// The outcome written by the upgrade thread and read on the UI thread. One
// lock, so that a reader sees the state, the text and the progress of one moment.
class SharedOutcome {
 public:
  UpgradeOutcome Read() const;
  bool IsRunning() const;

  // Running, at 0, with no failure: a previous run's outcome must not end this one.
  void Begin();
  // Stores done * 1000 / total, clamped to 0..1000; a total of 0 or less changes nothing.
  void ReportProgress(std::int32_t done, std::int32_t total);
  void Complete();
  void Fail(const std::string& reason);

 private:
  mutable std::mutex m_mutex;
  UpgradeOutcome m_outcome;  // guarded by m_mutex
};
