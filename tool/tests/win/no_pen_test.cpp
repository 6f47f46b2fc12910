// The tool with no usable pen attached, read from its real windows by another
// program: what it shows, and that how it is started changes nothing.
#include <gtest/gtest.h>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

inline constexpr wchar_t kShippedToolCaption[] = L"Maravel_Firmware_Upgrade_Tool_v3.18";
inline constexpr wchar_t kWrongDeviceText[] =
    L"This software is not intended for this device, unable to upgrade your pen scanner.\n";

void ExpectNoPenState(const Tool& tool) {
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_EQ(tool.Status(), kNoPenVersionLine);
  EXPECT_FALSE(tool.StartEnabled());
  EXPECT_TRUE(tool.ExitEnabled());
  EXPECT_EQ(tool.ProgressPosition(), 0);
}

void ExpectExitEndsIt(Tool& tool) {
  tool.ClickExit();
  EXPECT_TRUE(tool.process().WaitForExit());
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

class ShippedToolWithoutPen : public ::testing::Test {
 protected:
  ToolSandbox sandbox_;
};

TEST_F(ShippedToolWithoutPen, ShowsTitleVersionLineAndDisabledStartUntilExit) {
  Tool tool(sandbox_, kShippedTool, L"");
  ASSERT_NE(tool.dialog(), nullptr);
  // Found the way any other program would find it.
  EXPECT_EQ(win32_ui::FindWindowOnDesktop(sandbox_.desktop(), kDialogClass, kTitle), tool.dialog());
  ExpectNoPenState(tool);
  ExpectExitEndsIt(tool);
}

TEST_F(ShippedToolWithoutPen, ArgumentsAndAnotherWorkingDirectoryChangeNothing) {
  const std::wstring installDir = sandbox_.MakeDir(L"install");
  const std::wstring workingDir = sandbox_.MakeDir(L"elsewhere");
  // Among them the options of the virtual-pen build: the shipped tool must not know them.
  Tool tool(sandbox_, kShippedTool, L"--pens 1 --timing realistic /? \"two words\"", installDir, workingDir);
  ASSERT_NE(tool.dialog(), nullptr);
  ExpectNoPenState(tool);
  ExpectExitEndsIt(tool);
}

TEST_F(ShippedToolWithoutPen, SecondCopyShowsItsOwnDialog) {
  Tool first(sandbox_, kShippedTool, L"");
  ASSERT_NE(first.dialog(), nullptr);
  Tool second(sandbox_, kShippedTool, L"", sandbox_.MakeDir(L"second"));
  ASSERT_NE(second.dialog(), nullptr);
  EXPECT_NE(first.dialog(), second.dialog());
  ExpectNoPenState(second);
  ExpectExitEndsIt(second);
  EXPECT_TRUE(first.process().Running());
  ExpectExitEndsIt(first);
}

TEST_F(ShippedToolWithoutPen, StartCommandShowsTheWrongDeviceBoxAndChangesNothing) {
  Tool tool(sandbox_, kShippedTool, L"");
  ASSERT_NE(tool.dialog(), nullptr);
  // The button is disabled, so this is its command as a stray click or a
  // keyboard shortcut would deliver it.
  PostMessageW(tool.dialog(), WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(tool.dialog(), IDC_START)));
  const HWND box = tool.WaitForMessageBox(kShippedToolCaption);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(MessageBoxText(box), kWrongDeviceText);
  PressOk(box);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }));
  EXPECT_TRUE(win32_ui::SendWithin(tool.dialog(), WM_NULL, 0, 0, kDeadlineMs));
  ExpectNoPenState(tool);
  ExpectExitEndsIt(tool);
}

TEST_F(ShippedToolWithoutPen, EscapeEndsIt) {
  Tool tool(sandbox_, kShippedTool, L"");
  ASSERT_NE(tool.dialog(), nullptr);
  tool.PressKey(VK_ESCAPE);
  EXPECT_TRUE(tool.process().WaitForExit());
}

// The same dialog from the virtual-pen build, when the pens on its bus give it
// none to open: none at all, two at once, or one with another product id.
class VirtualPenBuildWithoutUsablePen : public ::testing::TestWithParam<const wchar_t*> {};

TEST_P(VirtualPenBuildWithoutUsablePen, ShowsTheNoPenState) {
  ToolSandbox sandbox;
  Tool tool(sandbox, kVirtualPenTool, GetParam());
  ASSERT_NE(tool.dialog(), nullptr);
  ExpectNoPenState(tool);
  ExpectExitEndsIt(tool);
}

INSTANTIATE_TEST_SUITE_P(Pens, VirtualPenBuildWithoutUsablePen,
                         ::testing::Values(L"--pens 0", L"--pens 2", L"--product 0x0205"));

}  // namespace
}  // namespace tool_win_test
