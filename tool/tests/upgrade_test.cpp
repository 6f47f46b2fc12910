// Whole upgrades through the dialog, its threads and a virtual pen.
#include <vector>

#include "firmware/embedded_images.h"
#include "tool/tests/dialog_fixture.h"
#include "tool/tool_state.h"

namespace {

class UpgradeTest : public DialogTest {
 protected:
  static std::vector<std::uint8_t> ShippedDfu() {
    return std::vector<std::uint8_t>(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize);
  }

  static void ExpectUpgraded(const virtualpen::VirtualPen& pen, const virtualpen::IdentityBlock& identity,
                             const std::vector<std::uint8_t>& dfuRegion = ShippedDfu()) {
    EXPECT_EQ(pen.ReadFlash(0x8000, EmbeddedDfuImageSize), dfuRegion);
    EXPECT_EQ(pen.ReadFlash(0x28000, EmbeddedMainImageSize),
              std::vector<std::uint8_t>(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize));
    EXPECT_EQ(pen.ReadFlash(0x7000, 4), (std::vector<std::uint8_t>{0x00, 0x80, 0x02, 0x80}));
    EXPECT_EQ(pen.ReadFlash(0x4000, 16), std::vector<std::uint8_t>(identity.begin(), identity.end()));
    EXPECT_EQ(pen.Mode(), virtualpen::PenMode::MainFirmware);
    const auto descriptor = pen.Descriptor();
    EXPECT_EQ(descriptor[12] | (descriptor[13] << 8), 0x0318);
  }

  void RunToCompletion() {
    ASSERT_TRUE(StartEnabled());
    ASSERT_TRUE(ui::ClickButton(m_dialog, IDC_START));
    ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
    ASSERT_TRUE(Completed());
    EXPECT_FALSE(StartEnabled());
    EXPECT_EQ(ui::GetProgressPos(m_dialog, IDC_PROGRESS), 1000);
  }
};

TEST_F(UpgradeTest, FromOlderFirmwareWithBothRestarts) {
  auto pen = PlugPen();
  OpenDialog();
  RunToCompletion();
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_TRUE(ui::MessageBoxHistory().empty());
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  ExpectUpgraded(*pen, virtualpen::kValidIdentityBlock);
  ui::ClickButton(m_dialog, IDOK);
  EXPECT_EQ(WaitForDialogEnd(), IDOK);
}

TEST_F(UpgradeTest, FromAPenAlreadyInDfuMode) {
  virtualpen::PenOptions options;
  options.startInDfuMode = true;
  auto pen = PlugPen(options);
  const auto dfuBefore = pen->ReadFlash(0x8000, EmbeddedDfuImageSize);
  OpenDialog();
  RunToCompletion();
  EXPECT_EQ(pen->RestartCount(), 1u);  // no restart into DFU mode
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  ExpectUpgraded(*pen, virtualpen::kValidIdentityBlock, dfuBefore);  // the DFU region is left alone
}

TEST_F(UpgradeTest, ProgressIsShownAsPercentAndBar) {
  virtualpen::PenOptions options;
  options.restartDelayMs = 3000;  // long enough for several ticks while the pen is away
  PlugPen(options);
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] {
    const int pos = ui::GetProgressPos(m_dialog, IDC_PROGRESS);
    return pos > 0 && pos < 1000 && Status() == std::to_string(pos / 10) + "%";
  }));
  EXPECT_FALSE(ExitEnabled());
  EXPECT_FALSE(StartEnabled());
  ASSERT_TRUE(WaitFor([&] { return Completed(); }));
}

TEST_F(UpgradeTest, ANewArrivalAfterCompletionAllowsASecondUpgrade) {
  auto pen = PlugPen();
  OpenDialog();
  RunToCompletion();
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  Bus()->Unplug(pen);
  Bus()->Plug(pen);
  ASSERT_TRUE(WaitFor([&] { return Status() == "Current SW version: 3.18 - New SW version : 3.18"; }));
  EXPECT_TRUE(StartEnabled());
  // The first run's outcome must not end the second one at its first tick.
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return !ExitEnabled(); }));
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  EXPECT_EQ(pen->RestartCount(), 4u);
}

TEST_F(UpgradeTest, ASecondPenComingAndGoingDuringTheUpgradeIsIgnored) {
  virtualpen::PenOptions options;
  options.timing.latencyMs = 100;  // about a second of real time for the main region
  auto pen = PlugPen(options);
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  // Well into the main region: back from the first restart and open again.
  ASSERT_TRUE(WaitFor([&] { return pen->RestartCount() == 1 && pen->RequestCount() > 200; }));
  auto intruder = PlugPen();
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  Bus()->Unplug(intruder);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_EQ(intruder->RequestCount(), 0u);
}

TEST_F(UpgradeTest, ASecondPenStillThereAtARestartFailsTheUpgradeWithoutTouchingIt) {
  virtualpen::PenOptions options;
  options.timing.latencyMs = 100;
  auto pen = PlugPen(options);
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  // Well into the main region: back from the first restart and open again.
  ASSERT_TRUE(WaitFor([&] { return pen->RestartCount() == 1 && pen->RequestCount() > 200; }));
  auto intruder = PlugPen();
  // With two pens present neither is opened again after the final restart, so
  // the restart is never confirmed; the pen itself boots its new firmware.
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
  EXPECT_EQ(BoxesWithText(kFailureText), 1);
  EXPECT_EQ(intruder->RequestCount(), 0u);
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_EQ(pen->Mode(), virtualpen::PenMode::MainFirmware);
}

TEST_F(UpgradeTest, EscapeAndCloseRequestsAreRefusedWhileTheFlashIsWritten) {
  auto pen = PlugPen();
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RequestCount() > 10; }));
  ui::PressEscape(m_dialog);
  ui::PostClose(m_dialog);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  ExpectUpgraded(*pen, virtualpen::kValidIdentityBlock);
  ui::PressEscape(m_dialog);  // once the upgrade is over, Escape ends the dialog again
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
}

}  // namespace
