// The tool with no pen it can use, read from its real windows: what it shows
// whichever build and however started, until the user leaves.
#include <gtest/gtest.h>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

void ExpectNoPenState(const Tool& tool) {
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_EQ(tool.Status(), L"Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_TRUE(tool.Enabled(IDOK));
  EXPECT_EQ(tool.ProgressPosition(), 0);
}

struct Case {
  const std::wstring* program;
  const wchar_t* arguments;
  bool otherWorkingDir;
};

const Case kCases[] = {
    {&kShippedTool, L"", false},
    // The options of the virtual-pen build, which the shipped tool must not know.
    {&kShippedTool, L"--pens 1 --timing realistic /? \"two words\"", true},
    {&kVirtualPenTool, L"--pens 0", false},
    {&kVirtualPenTool, L"--pens 2", false},
    {&kVirtualPenTool, L"--product 0x0205", false},
};

class WithoutUsablePen : public ::testing::TestWithParam<Case> {};

TEST_P(WithoutUsablePen, ShowsTheNoPenStateUntilTheUserLeaves) {
  const Case& c = GetParam();
  win32_ui::Sandbox elsewhere(false);
  Tool tool(*c.program, c.arguments, c.otherWorkingDir ? elsewhere.dir() : L"");
  ASSERT_NE(tool.dialog(), nullptr);
  ExpectNoPenState(tool);
  tool.Click(IDOK);
  EXPECT_TRUE(tool.process().WaitForExit());
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Starts, WithoutUsablePen, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace tool_win_test
