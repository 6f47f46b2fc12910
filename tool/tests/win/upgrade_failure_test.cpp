// Upgrades with the virtual-pen build that fail: the fixed failure box comes
// once, the dialog behind it holds, and once the user confirms it the tool ends.
#include <gtest/gtest.h>

#include "tool/tests/win/tool_harness.h"

namespace tool_win_test {
namespace {

struct Case {
  const wchar_t* penOptions;
  const wchar_t* picture;  // null: none
};

const Case kCases[] = {
    // The pen leaves the bus halfway through writing the main image.
    {L"--timing realistic --fault unplug@300", L"tool_upgrade_failure"},
    {L"--timing zero --fault unplug@300", nullptr},
    // The pen does not come back from its restart into DFU mode: the tool gives up after 15 s.
    {L"--timing realistic --restart-fault never-back@1 --restart-delay 100", nullptr},
};

class VirtualPenUpgradeFailure : public ::testing::TestWithParam<Case> {};

TEST_P(VirtualPenUpgradeFailure, ShowsTheFailureBoxOnceThenEnds) {
  Tool tool(kVirtualPenTool, GetParam().penOptions);
  ASSERT_NE(tool.dialog(), nullptr);
  ASSERT_TRUE(tool.StartUpgrade()) << "the pen was not opened";

  const HWND box = tool.WaitForMessageBox(kUpgradeDeadlineMs);
  ASSERT_NE(box, nullptr) << "no failure box; status line: " << testing::PrintToString(tool.Status());
  EXPECT_EQ(MessageBoxText(box), kFailureText);
  EXPECT_TRUE(IsWindow(tool.dialog()));
  EXPECT_GE(Percentage(tool.Status()), 0) << testing::PrintToString(tool.Status());
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_FALSE(tool.Enabled(IDOK));
  if (GetParam().picture != nullptr) tool.Picture(box, GetParam().picture);

  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  HWND another = nullptr;
  EXPECT_TRUE(WaitUntil([&] {
    const HWND found = tool.WaitForMessageBox(0);
    if (found != nullptr && found != box) another = found;
    return !tool.process().Running();
  })) << "the tool did not end";
  EXPECT_EQ(another, nullptr) << "a second box: " << testing::PrintToString(MessageBoxText(another));
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Faults, VirtualPenUpgradeFailure, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace tool_win_test
