// The close loop of the Upgrade button, run in this process with time scaled,
// against host windows of this process: how many requests each window gets, how
// many 100 ms pauses the loop takes, and whether it hands over or gives up.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "afx/time_scale.h"
#include "launcher/tests/launcher_harness.h"
#include "launcher/tool_launch.h"

namespace handover_test {
namespace {

struct Case {
  const char* name;
  std::vector<HostWindow> windows;
  double timeScale;  // short pauses where the host's speed cannot change the outcome
  int presses;
  bool handsOver;
  std::vector<int> received;
  int pauses;  // per press
};

const Case kCases[] = {
    {"NoHostNoPause", {}, 6000.0, 1, true, {}, 0},  // a pause would take ten minutes
    {"ClassWindowGoesOnThird", {{HostWindow::kClass, 3}}, 1.0, 1, true, {3}, 3},
    {"TitleWindowGoesOnFirst", {{HostWindow::kTitle, 1}}, 1.0, 1, true, {1}, 1},
    {"EachWindowOnePerPass", {{HostWindow::kClass, 3}, {HostWindow::kTitle, 5}}, 1.0, 1, true, {3, 5}, 5},
    {"WindowMatchingBothTwicePerPass", {{HostWindow::kBoth, 4}}, 1.0, 1, true, {4}, 2},
    {"GoesOnTheLastPass", {{HostWindow::kClass, kMostPasses}}, 0.25, 1, true, {kMostPasses}, kMostPasses},
    {"NeverGoesGivesUpAfterLastPass", {{HostWindow::kClass, 0}, {HostWindow::kTitle, 0}}, 0.01, 2, false,
     {2 * kMostPasses, 2 * kMostPasses}, kMostPasses},
    {"WindowMatchingBothNeverGoes", {{HostWindow::kBoth, 0}}, 0.01, 1, false, {2 * kMostPasses}, kMostPasses},
};

class CloseLoop : public ::testing::TestWithParam<Case> {};

TEST_P(CloseLoop, AsksEachWindowUntilItGoes) {
  const Case& c = GetParam();
  afx::SetTimeScale(c.timeScale);
  Sandbox sandbox(false);  // a desktop of its own: no other test's host windows
  Host host(sandbox.desktop(), c.windows);
  for (int press = 1; press <= c.presses; ++press) {
    SCOPED_TRACE(press);
    // On a thread of the desktop (FindWindowW searches the caller's), with state that
    // outlives it should it never return.
    struct Run {
      std::atomic<bool> handedOver{false};
      HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    };
    const auto run = std::make_shared<Run>();
    const auto start = std::chrono::steady_clock::now();
    std::thread([run, desktop = sandbox.desktop()] {
      if (win32_ui::AttachToDesktop(desktop)) run->handedOver = CloseHostWindows();
      SetEvent(run->done);
    }).detach();
    const bool returned = WaitForSingleObject(run->done, kDeadlineMs) == WAIT_OBJECT_0;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(returned) << "the loop paused without a host window";
    EXPECT_EQ(run->handedOver, c.handsOver);
    EXPECT_GE(elapsed.count(), c.pauses * 100 * c.timeScale * 0.95) << "fewer pauses of 100 ms than passes";
  }
  EXPECT_EQ(host.Received(), c.received);
}

INSTANTIATE_TEST_SUITE_P(Hosts, CloseLoop, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace handover_test
