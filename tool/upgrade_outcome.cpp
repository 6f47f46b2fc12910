#include "tool/upgrade_outcome.h"

#include <algorithm>

UpgradeOutcome SharedOutcome::Read() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outcome;
}

bool SharedOutcome::IsRunning() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_outcome.state == UpgradeOutcome::State::Running;
}

void SharedOutcome::Begin() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_outcome = UpgradeOutcome{UpgradeOutcome::State::Running, {}, 0};
}

void SharedOutcome::ReportProgress(std::int32_t done, std::int32_t total) {
  if (total <= 0) return;
  const auto permille = static_cast<std::int32_t>(static_cast<std::int64_t>(done) * 1000 / total);
  std::lock_guard<std::mutex> lock(m_mutex);
  m_outcome.permille = std::min(std::max(permille, 0), 1000);
}

void SharedOutcome::Complete() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_outcome.state = UpgradeOutcome::State::Done;
}

void SharedOutcome::Fail(const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_outcome.state = UpgradeOutcome::State::Failed;
  m_outcome.failure = reason;
}
