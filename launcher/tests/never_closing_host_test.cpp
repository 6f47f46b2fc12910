// Upgrade against a host that never closes: 200 passes, then the launcher gives
// up quietly and stays. Each case takes 20 s per loop; CTest runs them side by side.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

class HostThatNeverCloses : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.InstallTool(sandbox_.dir());
    launcherPath_ = sandbox_.InstallLauncher(sandbox_.dir());
  }

  // Presses Upgrade, waits for the whole loop, and expects the dialog to be still
  // there with nothing started.
  void PressAndExpectLauncherStays(Launcher& launcher) {
    const ULONGLONG pressed = GetTickCount64();
    ASSERT_TRUE(launcher.PressUpgradeAndWait(kFullLoopDeadlineMs));
    EXPECT_GE(GetTickCount64() - pressed, 200u * 100u - 500u) << "200 pauses of 100 ms";
    EXPECT_TRUE(IsWindow(launcher.dialog()));
    EXPECT_TRUE(launcher.process().Running());
    EXPECT_TRUE(ReadToolStarts(sandbox_.dir()).empty());
  }

  // The last requests may still be on their way through the host's queue.
  static void ExpectCounts(const Host& host, const std::map<std::wstring, int>& expected) {
    host.WaitForCounts(expected);
    EXPECT_EQ(host.Counts(), expected);
  }

  Sandbox sandbox_;
  std::wstring launcherPath_;
};

TEST_F(HostThatNeverCloses, EachWindowGets200RequestsPerPressAndNothingStarts) {
  Host host(sandbox_, {L"class:0", L"title:0"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  ASSERT_NE(launcher.dialog(), nullptr);

  PressAndExpectLauncherStays(launcher);
  ExpectCounts(host, {{L"class", 200}, {L"title", 200}});

  // The count starts afresh on every press.
  PressAndExpectLauncherStays(launcher);
  ExpectCounts(host, {{L"class", 400}, {L"title", 400}});

  // The host goes at last: the dialog's close box still ends the launcher without the tool.
  host.process().Terminate();
  PostMessageW(launcher.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_TRUE(ReadToolStarts(sandbox_.dir()).empty());
}

TEST_F(HostThatNeverCloses, WindowMatchingClassAndTitleGets400Requests) {
  Host host(sandbox_, {L"both:0"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  ASSERT_NE(launcher.dialog(), nullptr);

  PressAndExpectLauncherStays(launcher);
  ExpectCounts(host, {{L"both", 400}});
}

}  // namespace
}  // namespace handover_test
