#pragma once
// One switch that scales every timed wait of the product and of the virtual pen.
// The product never changes it: tests set a small factor so that the 2, 10 and
// 15 second limits pass in milliseconds while keeping their relative order.
#include <chrono>
#include <cstdint>

namespace afx {

void SetTimeScale(double factor);  // 1.0 is real time; tests use e.g. 0.001

// `milliseconds` of product time as a duration of real time under the current scale.
std::chrono::steady_clock::duration Scaled(std::uint32_t milliseconds);

// The moment `milliseconds` of product time from now, for waits that go on
// across several wake-ups (CEvent::LockUntil).
std::chrono::steady_clock::time_point Deadline(std::uint32_t milliseconds);

// Sleeps `milliseconds` of product time (the receive thread's pause after a failed read); sync.cpp.
void Sleep(std::uint32_t milliseconds);

}  // namespace afx
