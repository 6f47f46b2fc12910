// Upgrades with the virtual-pen build that fail: the fixed failure box comes
// once, and once the user confirms it the dialog closes and the tool ends.
#include <gtest/gtest.h>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

using win32_ui::WindowRect;

class VirtualPenUpgradeFailure : public ::testing::Test {
 protected:
  // Starts the tool with `penOptions`, clicks Start once the pen is there, and
  // follows the failure to the end of the process. Keeps a picture of the box
  // as artifacts/<picture>.png when `picture` is given.
  void ExpectFailureBoxThenEnd(const std::wstring& penOptions, const std::wstring& picture = L"") {
    Tool tool(sandbox_, kVirtualPenTool, penOptions);
    ASSERT_NE(tool.dialog(), nullptr);
    ASSERT_TRUE(WaitUntil([&] { return tool.StartEnabled(); })) << "the pen was not opened";
    tool.ClickStart();

    const HWND box = tool.WaitForMessageBox(kVirtualPenToolCaption, kUpgradeDeadlineMs);
    ASSERT_NE(box, nullptr) << "no failure box; status line: " << testing::PrintToString(tool.Status());
    EXPECT_EQ(MessageBoxText(box), kFailureText);
    // Behind the box the dialog holds its last percentage, and both buttons stay disabled.
    EXPECT_TRUE(IsWindow(tool.dialog()));
    EXPECT_GE(Percentage(tool.Status()), 0) << testing::PrintToString(tool.Status());
    EXPECT_FALSE(tool.StartEnabled());
    EXPECT_FALSE(tool.ExitEnabled());
    if (!picture.empty()) {
      EXPECT_TRUE(KeepPicture(sandbox_, box, win32_ui::Union(WindowRect(tool.dialog()), WindowRect(box)), picture));
    }

    PressOk(box);
    HWND another = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
      const HWND found = win32_ui::FindProcessWindow(sandbox_.desktop(), tool.process().id(), kVirtualPenToolCaption);
      if (found != nullptr && found != box) another = found;
      return !tool.process().Running();
    })) << "the tool did not end";
    EXPECT_EQ(another, nullptr) << "a second box: " << testing::PrintToString(MessageBoxText(another));
    EXPECT_EQ(tool.process().ExitCode(), 0u);
  }

  ToolSandbox sandbox_;
};

// The pen leaves the bus halfway through writing the main image.
TEST_F(VirtualPenUpgradeFailure, PenUnpluggedWhileWritingMainImage) {
  ExpectFailureBoxThenEnd(L"--timing realistic --fault unplug@300", L"tool_upgrade_failure");
}

// The pen does not come back from its restart into DFU mode; the tool gives up
// after its 15 s wait.
TEST_F(VirtualPenUpgradeFailure, PenNeverBackFromRestart) {
  ExpectFailureBoxThenEnd(L"--timing realistic --restart-fault never-back@1 --restart-delay 100");
}

}  // namespace
}  // namespace tool_win_test
