// Upgrade with host windows that go: how many close requests each window gets
// before the launcher hands over to the tool.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

class HostThatCloses : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.InstallTool(sandbox_.dir());
    launcherPath_ = sandbox_.InstallLauncher(sandbox_.dir());
  }

  // Presses Upgrade and expects the launcher to end after starting the tool once,
  // bare. Returns the milliseconds from the press to the launcher's end.
  ULONGLONG ExpectHandOver(Launcher& launcher) {
    if (launcher.dialog() == nullptr) {
      ADD_FAILURE() << "no launcher dialog";
      return 0;
    }
    const ULONGLONG pressed = GetTickCount64();
    launcher.PressUpgrade();
    EXPECT_TRUE(launcher.process().WaitForExit());
    const ULONGLONG elapsed = GetTickCount64() - pressed;
    const auto starts = WaitForToolStarts(sandbox_.dir());
    EXPECT_EQ(starts.size(), 1u);
    if (!starts.empty()) {
      EXPECT_EQ(starts[0].argc, 1);
      EXPECT_EQ(starts[0].args, L"");
    }
    return elapsed;
  }

  Sandbox sandbox_;
  std::wstring launcherPath_;
};

TEST_F(HostThatCloses, WithoutHostWindowsTheToolStartsAtOnce) {
  Launcher launcher(sandbox_, launcherPath_);
  // Not one pass: 200 of them would take 20 s.
  EXPECT_LT(ExpectHandOver(launcher), 15000u);
}

TEST_F(HostThatCloses, EachWindowGetsOneRequestPerPassUntilItGoes) {
  Host host(sandbox_, {L"class:3", L"title:5"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  const ULONGLONG elapsed = ExpectHandOver(launcher);
  EXPECT_EQ(host.Counts(), (std::map<std::wstring, int>{{L"class", 3}, {L"title", 5}}));
  // Five passes, each ending with a pause of 100 ms before the next search.
  EXPECT_GE(elapsed, 500u - 20u);
  EXPECT_TRUE(host.process().WaitForExit());
}

TEST_F(HostThatCloses, WindowMatchingClassAndTitleIsAskedTwicePerPass) {
  Host host(sandbox_, {L"both:4"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  ExpectHandOver(launcher);
  EXPECT_EQ(host.Counts(), (std::map<std::wstring, int>{{L"both", 4}}));
}

TEST_F(HostThatCloses, OnlyTheClassWindowIsAsked) {
  Host host(sandbox_, {L"class:2"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  ExpectHandOver(launcher);
  EXPECT_EQ(host.Counts(), (std::map<std::wstring, int>{{L"class", 2}}));
}

TEST_F(HostThatCloses, OnlyTheTitleWindowIsAskedAndTheButtonItselfWorks) {
  Host host(sandbox_, {L"title:1"});
  ASSERT_TRUE(host.ready());
  Launcher launcher(sandbox_, launcherPath_);
  ASSERT_NE(launcher.dialog(), nullptr);
  launcher.ClickUpgradeButton();
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_EQ(WaitForToolStarts(sandbox_.dir()).size(), 1u);
  EXPECT_EQ(host.Counts(), (std::map<std::wstring, int>{{L"title", 1}}));
}

}  // namespace
}  // namespace handover_test
