// The tool with no pen it can use, read from its real windows: what it shows
// whichever build and however started, and what Start does then.
#include <gtest/gtest.h>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

void ExpectNoPenState(const Tool& tool) {
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_EQ(tool.Status(), kNoPenVersionLine);
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_TRUE(tool.Enabled(IDOK));
  EXPECT_EQ(tool.ProgressPosition(), 0);
}

struct Case {
  const std::wstring* program;
  const wchar_t* arguments;
  bool otherWorkingDir;
  bool escape;  // leave with Escape rather than Exit
};

const Case kCases[] = {
    {&kShippedTool, L"", false, false},
    // The options of the virtual-pen build, which the shipped tool must not know.
    {&kShippedTool, L"--pens 1 --timing realistic /? \"two words\"", true, true},
    {&kVirtualPenTool, L"--pens 0", false, false},
    {&kVirtualPenTool, L"--pens 2", false, true},
    {&kVirtualPenTool, L"--product 0x0205", false, false},
};

class WithoutUsablePen : public ::testing::TestWithParam<Case> {};

TEST_P(WithoutUsablePen, ShowsTheNoPenStateUntilTheUserLeaves) {
  const Case& c = GetParam();
  Sandbox elsewhere(false);
  Tool tool(*c.program, c.arguments, c.otherWorkingDir ? elsewhere.dir() : L"");
  ASSERT_NE(tool.dialog(), nullptr);
  ExpectNoPenState(tool);
  c.escape ? tool.PressEscape() : tool.Click(IDOK);
  EXPECT_TRUE(tool.process().WaitForExit());
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Starts, WithoutUsablePen, ::testing::ValuesIn(kCases));

TEST(ShippedToolWithoutPen, StartCommandShowsTheWrongDeviceBoxAndChangesNothing) {
  Tool tool(kShippedTool, L"");
  ASSERT_NE(tool.dialog(), nullptr);
  // The button is disabled: this is its command as a stray click or a shortcut would deliver it.
  PostMessageW(tool.dialog(), WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(tool.dialog(), IDC_START)));
  const HWND box = tool.WaitForMessageBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box),
            L"This software is not intended for this device, unable to upgrade your pen scanner.\n");
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  EXPECT_TRUE(win32_ui::SendWithin(tool.dialog(), WM_NULL, 0, 0));
  ExpectNoPenState(tool);
}

}  // namespace
}  // namespace tool_win_test
