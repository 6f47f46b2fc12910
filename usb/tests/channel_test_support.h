#pragma once
// Shared by the virtual channel's tests: a fresh process-wide bus per test, with
// scaled time, and the channel's globals reset around each test.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "afx/time_scale.h"
#include "usb/pen_channel.h"
#include "virtualpen/virtual_bus.h"

namespace channel_testing {

class VirtualChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.001);
    virtualpen::VirtualBus::ResetInstance();
    bus = virtualpen::VirtualBus::Instance();
  }
  void TearDown() override {
    penHandle = nullptr;
    ReleaseDevicePath();
    bus.reset();
    virtualpen::VirtualBus::ResetInstance();
    afx::SetTimeScale(1.0);
  }

  std::shared_ptr<virtualpen::VirtualBus> bus;
};

// Waits in real time, up to a generous limit, until `done()`; `pump()` runs
// between the checks (a window's message loop on Windows).
template <typename Done, typename Pump>
bool WaitUntil(Done done, Pump pump) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace channel_testing
