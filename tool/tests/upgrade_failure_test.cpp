// Upgrades refused or cut short before the pen could be harmed. Every fault at
// every step, with a rerun after it, is the recovery campaign's.
#include "tool/tests/dialog_fixture.h"

namespace {

class UpgradeRefusedTest : public DialogTest {
 protected:
  // Runs the tool once and expects the failure box, then the dialog's end.
  void ExpectFailure() {
    OpenDialog();
    ASSERT_TRUE(StartEnabled());
    ui::ClickButton(m_dialog, IDC_START);
    EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
    EXPECT_EQ(BoxesWithText(kFailureText), 1);
    EXPECT_EQ(ui::MessageBoxHistory().size(), 1u);
  }
};

TEST_F(UpgradeRefusedTest, ABadIdentityBlockStopsBeforeAnythingIsWritten) {
  virtualpen::PenOptions options;
  options.identityBlock[0] = 0x65;
  auto pen = PlugPen(options);
  const auto before = pen->ReadFlash(0, 0x80000);
  ExpectFailure();
  EXPECT_EQ(pen->ReadFlash(0, 0x80000), before);
  EXPECT_EQ(pen->RequestCount(), 1u);
}

}  // namespace
