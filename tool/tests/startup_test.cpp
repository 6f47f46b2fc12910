// What the dialog shows when it opens, for each set of pens on the bus.
#include "tool/tests/dialog_fixture.h"

namespace {

using StartupTest = DialogTest;

TEST_F(StartupTest, WithNoPenShowsTheImageVersionAndDisablesStart) {
  const HWND dialog = OpenDialog();
  EXPECT_EQ(ui::GetTitle(dialog), "Maravel Firmware Upgrade Tool - 3.18");
  EXPECT_EQ(Status(), "Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(StartEnabled());
  EXPECT_TRUE(ExitEnabled());
  EXPECT_EQ(ui::GetProgressPos(dialog, IDC_PROGRESS), 0);
  EXPECT_EQ(ui::GetProgressRange(dialog, IDC_PROGRESS), std::make_pair(0, 1000));
  EXPECT_FALSE(ui::IsControlVisible(dialog, IDC_DBG));
  EXPECT_FALSE(ui::IsControlVisible(dialog, IDC_DBG_BT));
}

TEST_F(StartupTest, WithOneSupportedPenShowsItsVersionAndEnablesStart) {
  PlugPen();
  OpenDialog();
  EXPECT_EQ(Status(), "Current SW version: 3.10 - New SW version : 3.18");
  EXPECT_TRUE(StartEnabled());
}

TEST_F(StartupTest, WithTwoPensOpensNeither) {
  PlugPen();
  PlugPen();
  OpenDialog();
  EXPECT_EQ(Status(), "Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(StartEnabled());
}

TEST_F(StartupTest, WithAForeignPenClosesItAgain) {
  virtualpen::PenOptions foreign;
  foreign.productId = 0x0205;
  PlugPen(foreign);
  OpenDialog();
  EXPECT_EQ(Status(), "Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(StartEnabled());
}

TEST_F(StartupTest, PenVersionTexts) {
  struct Case {
    std::uint8_t major, minor;
    const char* shown;
  };
  for (const Case& c : {Case{3, 0x18, "3.18"}, Case{99, 0x00, "99.00"}, Case{100, 0x01, "ERROR"}, Case{3, 0x0a, "3.0a"}}) {
    SCOPED_TRACE(c.shown);
    virtualpen::PenOptions options;
    options.mainMajor = c.major;
    options.mainMinor = c.minor;
    auto pen = PlugPen(options);
    OpenDialog();
    EXPECT_EQ(Status(), std::string("Current SW version: ") + c.shown + " - New SW version : 3.18");
    EXPECT_TRUE(StartEnabled());  // an odd version does not block the upgrade
    ui::ClickButton(m_dialog, IDOK);
    WaitForDialogEnd();
    Bus()->Unplug(pen);
  }
}

}  // namespace
