// A whole upgrade with the virtual-pen build, driven as a user drives it: wait
// for Start, click it, watch the status line, click Exit. Keeps pictures of the
// dialog before, during and after the upgrade.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

using win32_ui::WindowRect;

constexpr wchar_t kReadyVersionLine[] = L"Current SW version: 3.10 - New SW version : 3.18";

TEST(VirtualPenUpgrade, RunsToCompletionDrivenLikeAUser) {
  ToolSandbox sandbox;
  Tool tool(sandbox, kVirtualPenTool, L"--timing realistic");
  ASSERT_NE(tool.dialog(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return tool.StartEnabled(); })) << "the pen was not opened";
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_EQ(tool.Status(), kReadyVersionLine);
  EXPECT_TRUE(tool.ExitEnabled());
  EXPECT_TRUE(KeepPicture(sandbox, tool.dialog(), WindowRect(tool.dialog()), L"tool_upgrade_before"));

  const ULONGLONG clicked = GetTickCount64();
  tool.ClickStart();
  std::vector<int> percentages;  // each change of the status line, in order
  bool pictured = false;
  bool buttonsHeld = true;
  std::wstring status;
  const bool completed = WaitUntil(
      [&] {
        const bool buttonEnabled = tool.StartEnabled() || tool.ExitEnabled();
        status = tool.Status();
        if (status == kCompleteText) return true;
        const int percentage = Percentage(status);
        if (percentage < 0) return false;
        if (percentages.empty() || percentages.back() != percentage) percentages.push_back(percentage);
        // The tick that completes the upgrade enables Exit just before it writes
        // the completion text: a button counts as enabled during the upgrade only
        // if it still is once the dialog has finished its current message.
        if (buttonEnabled && win32_ui::SendWithin(tool.dialog(), WM_NULL, 0, 0, kDeadlineMs) &&
            Percentage(tool.Status()) >= 0) {
          buttonsHeld = false;
        }
        if (!pictured && percentage >= 40 && percentage <= 70) {
          pictured = KeepPicture(sandbox, tool.dialog(), WindowRect(tool.dialog()), L"tool_upgrade_during");
        }
        return false;
      },
      kUpgradeDeadlineMs);
  const ULONGLONG elapsed = GetTickCount64() - clicked;
  ASSERT_TRUE(completed) << "status line: " << testing::PrintToString(status);
  std::fprintf(stderr, "upgrade took %llu ms from the click on Start\n", elapsed);

  EXPECT_TRUE(buttonsHeld) << "Start or Exit was enabled during the upgrade";
  // Progress is seen moving, and never backwards.
  EXPECT_GE(percentages.size(), 10u);
  for (std::size_t i = 1; i < percentages.size(); ++i) {
    EXPECT_GT(percentages[i], percentages[i - 1]) << "at change " << i;
  }
  EXPECT_TRUE(pictured) << "no picture in the middle of the upgrade";

  EXPECT_TRUE(tool.ExitEnabled());
  EXPECT_FALSE(tool.StartEnabled());
  EXPECT_EQ(tool.ProgressPosition(), 1000);
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_TRUE(KeepPicture(sandbox, tool.dialog(), WindowRect(tool.dialog()), L"tool_upgrade_after"));
  // No box was shown along the way.
  EXPECT_EQ(win32_ui::FindProcessWindow(sandbox.desktop(), tool.process().id(), kVirtualPenToolCaption), nullptr);

  tool.ClickExit();
  EXPECT_TRUE(tool.process().WaitForExit());
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

}  // namespace
}  // namespace tool_win_test
