// Upgrades that fail at each kind of step: the failure box is shown once, then
// the dialog closes; the pen is never left worse than the procedure promises,
// and a fresh run of the tool on the same pen upgrades it.
#include "tool/tests/dialog_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;

// Requests of an upgrade whose DFU region differs at chunk 7, up to the restart
// into DFU mode: identity, 8 compared chunks, 32 erases and 34 writes, 34
// verified chunks, the DFU header and the boot-control erase.
constexpr std::uint32_t kRequestsBeforeDfuRestart = 1 + 8 + 32 + 34 + 34 + 1 + 1;

struct FailureCase {
  const char* name;
  std::vector<RequestFault> requestFaults;
  std::vector<RestartFault> restartFaults;
};

class UpgradeFailureTest : public DialogTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  // Runs the tool once on `pen` and expects the failure box, then the dialog's end.
  void ExpectFailure(const std::shared_ptr<virtualpen::VirtualPen>& pen) {
    OpenDialog();
    ASSERT_TRUE(StartEnabled());
    ui::ClickButton(m_dialog, IDC_START);
    EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
    EXPECT_EQ(BoxesWithText(kFailureText), 1);
    EXPECT_EQ(ui::MessageBoxHistory().size(), 1u);
    EXPECT_FALSE(upgradeRunning);
    EXPECT_EQ(penHandle.load(), nullptr);
    ASSERT_TRUE(Bus()->WaitUntilIdle());
    EXPECT_EQ(pen->ReadFlash(0, 0x7000), m_lowFlash);
  }

  // As the failure box tells the user: unplug, plug in (with the function
  // button held when the pen does not come up by itself) and run the tool again.
  void ExpectRecovery(const std::shared_ptr<virtualpen::VirtualPen>& pen) {
    pen->ClearFaults();
    ui::ClearMessageBoxHistory();
    Bus()->Unplug(pen);
    if (!Bus()->Plug(pen)) {
      ASSERT_TRUE(Bus()->Plug(pen, true));
    }
    OpenDialog();
    ASSERT_TRUE(WaitFor([&] { return StartEnabled(); }));
    ASSERT_TRUE(Upgrade());
    ExpectUpgraded(*pen);
  }
};

TEST_P(UpgradeFailureTest, EndsInTheFailureBoxAndARerunUpgrades) {
  virtualpen::PenOptions options;
  options.restartDelayMs = 100;
  auto pen = PlugPen(options);
  for (const auto& fault : GetParam().requestFaults) pen->AddFault(fault);
  for (const auto& fault : GetParam().restartFaults) pen->AddFault(fault);
  ExpectFailure(pen);
  ExpectRecovery(pen);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UpgradeFailureTest,
    ::testing::Values(
        FailureCase{"NoAnswerToThreeAttempts", {{RequestFaultKind::DropResponse, 5, 3, 0}}, {}},
        FailureCase{"ABadStatus", {{RequestFaultKind::CorruptStatus, 40, 1, 0xFE}}, {}},
        FailureCase{"ABadChecksumWhileVerifying", {{RequestFaultKind::CorruptChecksum, 80, 1, 1}}, {}},
        FailureCase{"APenGoneWhileWritingTheDfuRegion", {{RequestFaultKind::UnplugAtRequest, 30, 1, 0}}, {}},
        FailureCase{"APenGoneWhileWritingTheMainRegion",
                    {{RequestFaultKind::UnplugAtRequest, kRequestsBeforeDfuRestart + 60, 1, 0}}, {}},
        FailureCase{"APenGoneAtTheBootControlWord",
                    {{RequestFaultKind::UnplugAtRequest, kRequestsBeforeDfuRestart + 535, 1, 0}}, {}},
        FailureCase{"NeverBackAfterTheFirstRestart", {}, {{RestartFaultKind::NeverReturn, 1, 0}}},
        FailureCase{"NeverBackAfterTheSecondRestart", {}, {{RestartFaultKind::NeverReturn, 2, 0}}},
        FailureCase{"NoDfuAnnouncement", {}, {{RestartFaultKind::NoDfuAnnouncement, 1, 0}}},
        FailureCase{"BackAsAnotherProduct", {}, {{RestartFaultKind::ForeignProduct, 1, 0x0205}}}),
    [](const ::testing::TestParamInfo<FailureCase>& param) { return std::string(param.param.name); });

class UpgradeRefusedTest : public UpgradeFailureTest {};

TEST_F(UpgradeRefusedTest, ABadIdentityBlockStopsBeforeAnythingIsWritten) {
  virtualpen::PenOptions options;
  options.identityBlock[0] = 0x65;
  auto pen = PlugPen(options);
  const auto before = pen->ReadFlash(0, 0x80000);
  ExpectFailure(pen);
  EXPECT_EQ(pen->ReadFlash(0, 0x80000), before);
  EXPECT_EQ(pen->RequestCount(), 1u);
}

// With two pens present neither is opened again after the final restart, so the
// restart is never confirmed; the pen itself boots its new firmware.
TEST_F(UpgradeRefusedTest, ASecondPenStillThereAtARestartIsNeverTouched) {
  virtualpen::PenOptions options;
  options.timing.latencyMs = 100;
  auto pen = PlugPen(options);
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RestartCount() == 1 && pen->RequestCount() > 200; }));
  auto intruder = Bus()->PlugNewPen();
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
  EXPECT_EQ(BoxesWithText(kFailureText), 1);
  EXPECT_EQ(intruder->RequestCount(), 0u);
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_EQ(pen->Mode(), virtualpen::PenMode::MainFirmware);
}

}  // namespace
