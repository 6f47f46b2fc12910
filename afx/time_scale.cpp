#include "afx/time_scale.h"

#include <atomic>
#include <thread>

namespace afx {
namespace {
std::atomic<double> timeScale{1.0};
}

void SetTimeScale(double factor) { timeScale.store(factor > 0 ? factor : 1.0); }

double TimeScale() { return timeScale.load(); }

std::chrono::steady_clock::duration Scaled(std::uint32_t milliseconds) {
  const std::chrono::duration<double, std::milli> scaled(milliseconds * timeScale.load());
  return std::chrono::duration_cast<std::chrono::steady_clock::duration>(scaled);
}

void Sleep(std::uint32_t milliseconds) { std::this_thread::sleep_for(Scaled(milliseconds)); }

}  // namespace afx
