// Whole upgrades with the virtual-pen build, driven as a user drives them: wait
// for Start, click it, watch the status line, click Exit. Keeps pictures of the
// dialog before, during and after the upgrade with realistic pen timing.
#include <gtest/gtest.h>

#include <vector>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

class VirtualPenUpgrade : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(VirtualPenUpgrade, RunsToCompletionDrivenLikeAUser) {
  const bool realistic = std::wstring(GetParam()) == L"realistic";
  Tool tool(kVirtualPenTool, std::wstring(L"--timing ") + GetParam());
  ASSERT_NE(tool.dialog(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return tool.Enabled(IDC_START); })) << "the pen was not opened";
  EXPECT_EQ(tool.Status(), L"Current SW version: 3.10 - New SW version : 3.18");
  EXPECT_TRUE(tool.Enabled(IDOK));
  if (realistic) tool.Picture(tool.dialog(), L"tool_upgrade_before");
  ASSERT_TRUE(tool.StartUpgrade());
  std::vector<int> percentages;  // each change of the status line, in order
  bool pictured = !realistic;
  bool buttonsHeld = true;
  std::wstring status;
  const bool completed = WaitUntil(
      [&] {
        const bool buttonEnabled = tool.Enabled(IDC_START) || tool.Enabled(IDOK);
        status = tool.Status();
        if (status == L"Update complete - click Exit") return true;
        const int percentage = Percentage(status);
        if (percentage < 0) return false;
        if (percentages.empty() || percentages.back() != percentage) percentages.push_back(percentage);
        // The tick that completes the upgrade enables Exit just before it writes
        // the completion text: a button counts as enabled during the upgrade only
        // if it still is once the dialog has finished its current message.
        if (buttonEnabled && win32_ui::SendWithin(tool.dialog(), WM_NULL, 0, 0) && Percentage(tool.Status()) >= 0) {
          buttonsHeld = false;
        }
        if (!pictured && percentage >= 40 && percentage <= 70) {
          tool.Picture(tool.dialog(), L"tool_upgrade_during");
          pictured = true;
        }
        return false;
      },
      kUpgradeDeadlineMs);
  ASSERT_TRUE(completed) << "status line: " << testing::PrintToString(status);

  EXPECT_TRUE(buttonsHeld) << "Start or Exit was enabled during the upgrade";
  // Progress is seen moving with a pen that takes its time, and never backwards.
  if (realistic) {
    EXPECT_GE(percentages.size(), 10u);
  }
  for (std::size_t i = 1; i < percentages.size(); ++i) EXPECT_GT(percentages[i], percentages[i - 1]) << i;
  EXPECT_TRUE(tool.Enabled(IDOK));
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_EQ(tool.ProgressPosition(), 1000);
  EXPECT_EQ(tool.Title(), kTitle);
  if (realistic) tool.Picture(tool.dialog(), L"tool_upgrade_after");
  EXPECT_EQ(tool.WaitForMessageBox(0), nullptr) << "a box along the way";

  tool.Click(IDOK);
  EXPECT_TRUE(tool.process().WaitForExit());
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Timing, VirtualPenUpgrade, ::testing::Values(L"realistic", L"zero"));

}  // namespace
}  // namespace tool_win_test
