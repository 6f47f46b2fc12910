#pragma once
// The one wait for a condition, for the tests, the benchmark and the terminal
// demo, natively and under Wine: no test depends on a sleep to be right, it
// waits on what it needs with a deadline that only something broken reaches.
#include <chrono>
#include <thread>

namespace testing_support {

// How often a condition is looked at: every millisecond natively; under Wine,
// where a look at windows is a round trip to its server, every 10 ms.
#ifdef _WIN32
inline constexpr std::chrono::milliseconds kWaitPollPeriod{10};
#else
inline constexpr std::chrono::milliseconds kWaitPollPeriod{1};
#endif

// Looks at `condition` until it holds or `timeout` (real time) has passed;
// returns its last result.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(kWaitPollPeriod);
  }
  return true;
}

}  // namespace testing_support
