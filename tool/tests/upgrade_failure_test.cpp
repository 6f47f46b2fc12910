// Upgrades that fail at each kind of step: the failure box is shown once, then
// the dialog closes; the pen is never left worse than the procedure promises.
#include "tool/tests/dialog_fixture.h"
#include "tool/tool_state.h"
#include "usb/pen_channel.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;

class UpgradeFailureTest : public DialogTest {
 protected:
  // Starts an upgrade of `pen` and expects it to end in the failure box.
  void ExpectFailure(const std::shared_ptr<virtualpen::VirtualPen>& pen) {
    OpenDialog();
    ASSERT_TRUE(StartEnabled());
    ui::ClickButton(m_dialog, IDC_START);
    EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
    EXPECT_EQ(BoxesWithText(kFailureText), 1);
    EXPECT_EQ(ui::MessageBoxHistory().size(), 1u);
    EXPECT_FALSE(upgradeRunning);
    EXPECT_EQ(penHandle.load(), nullptr);
    EXPECT_GT(pen->RequestCount(), 0u);
  }
};

TEST_F(UpgradeFailureTest, NoResponseToThreeAttempts) {
  auto pen = PlugPen();
  pen->AddFault(RequestFault{RequestFaultKind::DropResponse, 5, 3, 0});
  ExpectFailure(pen);
}

TEST_F(UpgradeFailureTest, ABadStatus) {
  auto pen = PlugPen();
  pen->AddFault(RequestFault{RequestFaultKind::CorruptStatus, 40, 1, 0xFE});
  ExpectFailure(pen);
}

TEST_F(UpgradeFailureTest, ABadIdentityBlockStopsBeforeAnythingIsWritten) {
  virtualpen::PenOptions options;
  options.identityBlock[0] = 0x65;
  auto pen = PlugPen(options);
  const auto before = pen->ReadFlash(0, 0x80000);
  ExpectFailure(pen);
  EXPECT_EQ(pen->ReadFlash(0, 0x80000), before);
}

TEST_F(UpgradeFailureTest, ThePenGoneMidWrite) {
  virtualpen::PenOptions options;
  options.startInDfuMode = true;
  auto pen = PlugPen(options);
  pen->AddFault(RequestFault{RequestFaultKind::UnplugAtRequest, 60, 1, 0});
  ExpectFailure(pen);
  // The main region's first chunk, written last, was never written: the boot
  // loader keeps the pen in DFU mode, from which a new upgrade can start.
  EXPECT_NE(pen->ReadFlash(0x28000 + 20, 4), (std::vector<std::uint8_t>{0xDA, 0xBE, 0xDE, 0xFE}));
}

TEST_F(UpgradeFailureTest, ThePenNeverBackAfterARestart) {
  auto pen = PlugPen();
  pen->AddFault(RestartFault{RestartFaultKind::NeverReturn, 1, 0});
  ExpectFailure(pen);
}

TEST_F(UpgradeFailureTest, NoDfuAnnouncementAfterTheRestart) {
  auto pen = PlugPen();
  pen->AddFault(RestartFault{RestartFaultKind::NoDfuAnnouncement, 1, 0});
  ExpectFailure(pen);
}

TEST_F(UpgradeFailureTest, ThePenBackAsAnotherProduct) {
  auto pen = PlugPen();
  pen->AddFault(RestartFault{RestartFaultKind::ForeignProduct, 1, 0x0205});
  ExpectFailure(pen);
}

}  // namespace
