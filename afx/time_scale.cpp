#include "afx/time_scale.h"

#include <atomic>

namespace afx {
namespace {
std::atomic<double> timeScale{1.0};
}

void SetTimeScale(double factor) { timeScale.store(factor); }

std::chrono::steady_clock::duration Scaled(std::uint32_t milliseconds) {
  const std::chrono::duration<double, std::milli> scaled(milliseconds * timeScale.load());
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(scaled);
}

std::chrono::steady_clock::time_point Deadline(std::uint32_t milliseconds) {
  return std::chrono::steady_clock::now() + Scaled(milliseconds);
}

}  // namespace afx
