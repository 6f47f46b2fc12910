// Whole upgrades through the dialog, its threads and a virtual pen, with a pen
// that answers at once and with one that takes real (scaled) time.
#include <mutex>

#include "tool/tests/dialog_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;

class UpgradeTest : public DialogTest, public ::testing::WithParamInterface<bool> {
 protected:
  // The pen's options for this run: the realistic timing model or none.
  static virtualpen::PenOptions Options() {
    virtualpen::PenOptions options;
    if (GetParam()) options.timing = virtualpen::kRealisticTiming;
    return options;
  }
  // With pen time, one slow enough that a second answer comes only once the
  // next command waits.
  static virtualpen::PenOptions SlowOptions() {
    virtualpen::PenOptions options;
    if (GetParam()) options.timing.latencyMs = 100;
    return options;
  }
};

TEST_P(UpgradeTest, FromOlderFirmwareWithBothRestarts) {
  auto pen = PlugPen(Options());
  OpenDialog();
  ASSERT_TRUE(Upgrade());
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(ui::GetProgressPos(m_dialog, IDC_PROGRESS), 1000);
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_TRUE(ui::MessageBoxHistory().empty());
  ExpectUpgraded(*pen);
  ui::ClickButton(m_dialog, IDOK);
  EXPECT_EQ(WaitForDialogEnd(), IDOK);
}

TEST_P(UpgradeTest, FromAPenAlreadyInDfuMode) {
  auto options = Options();
  options.startInDfuMode = true;
  auto pen = PlugPen(options);
  const auto dfuBefore = pen->ReadFlash(0x8000, EmbeddedDfuImageSize);
  OpenDialog();
  ASSERT_TRUE(Upgrade());
  EXPECT_EQ(pen->RestartCount(), 1u);  // no restart into DFU mode
  ExpectUpgraded(*pen, dfuBefore);     // the DFU region is left alone
}

// An answer counts once, for the command it answers: one that comes late (up
// to a whole attempt late) serves the command's next attempt, and the copies
// that follow, like an answer left in the pen before the tool came, are dropped.
TEST_P(UpgradeTest, LateRepeatedAndLeftoverAnswersAreTakenOnce) {
  struct Case {
    const char* name;
    RequestFaultKind kind;
    std::uint32_t request, value;
  };
  // Request 5 is a read, 10 an erase, 11 and 313 writes.
  for (const Case& c : {Case{"late read", RequestFaultKind::DelayResponse, 5, 2300},
                        Case{"late erase", RequestFaultKind::DelayResponse, 10, 2300},
                        Case{"late write", RequestFaultKind::DelayResponse, 11, 3900},
                        Case{"late write", RequestFaultKind::DelayResponse, 313, 2300},
                        Case{"repeated read", RequestFaultKind::DuplicateResponse, 20, 0},
                        Case{"repeated write", RequestFaultKind::DuplicateResponse, 313, 0}}) {
    SCOPED_TRACE(c.name + std::string(" at ") + std::to_string(c.request));
    auto pen = PlugPen(SlowOptions());
    pen->AddFault(RequestFault{c.kind, c.request, 1, c.value});
    OpenDialog();
    ASSERT_TRUE(Upgrade());
    ExpectUpgraded(*pen);
    ui::ClickButton(m_dialog, IDOK);
    WaitForDialogEnd();
    Bus()->Unplug(pen);
  }
  SCOPED_TRACE("an answer left in the pen");
  auto pen = PlugPen(SlowOptions());
  const std::uint8_t read[] = {0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00};
  const std::size_t queued = pen->QueuedPackets();
  ASSERT_EQ(Bus()->Open()->Send(read, sizeof read), virtualpen::PenLink::Result::Ok);
  ASSERT_EQ(pen->QueuedPackets(), queued + 1);
  OpenDialog();
  ASSERT_TRUE(Upgrade());
  ExpectUpgraded(*pen);
}

// A request that the driver holds ends at the channel's limit, and the command
// sends it again: the upgrade goes on whether the driver cancelled it or not.
TEST_P(UpgradeTest, ASendTheDriverHoldsIsSentAgain) {
  for (const bool cancellable : {true, false}) {
    SCOPED_TRACE(cancellable ? "cancelled" : "abandoned");
    auto pen = PlugPen(Options());
    pen->AddFault(virtualpen::HoldFault{virtualpen::HeldTransfer::Send, 11, cancellable});
    OpenDialog();
    ASSERT_TRUE(Upgrade());
    ExpectUpgraded(*pen);
    ui::ClickButton(m_dialog, IDOK);
    WaitForDialogEnd();
    Bus()->Unplug(pen);
  }
}

// Every tick shows one reading of the progress: the percentage is the bar's
// position in tenths, truncated.
TEST_P(UpgradeTest, ProgressTextAndBarAgree) {
  auto options = Options();
  options.restartDelayMs = 3000;  // several ticks while the pen is away
  auto pen = PlugPen(options);
  OpenDialog();
  std::mutex mutex;
  std::vector<std::pair<std::string, int>> shown;  // status text and bar at each bar change
  ui::SetObserver([&](const ui::UiEvent& event) {
    if (event.kind != ui::UiEventKind::ProgressChanged) return;
    std::lock_guard<std::mutex> lock(mutex);
    shown.emplace_back(ui::GetControlText(event.dialog, IDC_STATUS), event.value);
  });
  ASSERT_TRUE(Upgrade());
  ui::SetObserver(nullptr);
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_GT(shown.size(), 2u);
  bool sawUpperHalf = false;
  for (const auto& [text, pos] : shown) {
    EXPECT_EQ(text, std::to_string(pos / 10) + "%") << "bar at " << pos;
    sawUpperHalf = sawUpperHalf || pos % 10 >= 5;
  }
  EXPECT_TRUE(sawUpperHalf);  // a rounding display would have shown
}

INSTANTIATE_TEST_SUITE_P(Timing, UpgradeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Realistic" : "Zero"; });

class UpgradeSessionTest : public DialogTest {};

TEST_F(UpgradeSessionTest, ANewArrivalAfterCompletionAllowsASecondUpgrade) {
  auto pen = PlugPen();
  OpenDialog();
  ASSERT_TRUE(Upgrade());
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  Bus()->Unplug(pen);
  Bus()->Plug(pen);
  ASSERT_TRUE(WaitFor([&] { return Status() == "Current SW version: 3.18 - New SW version : 3.18"; }));
  // The first run's outcome must not end the second one at its first tick.
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return !ExitEnabled(); }));
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  EXPECT_EQ(pen->RestartCount(), 4u);
}

TEST_F(UpgradeSessionTest, ASecondPenComingAndGoingDuringTheUpgradeIsIgnored) {
  virtualpen::PenOptions options;
  options.timing.latencyMs = 100;  // about a second of real time for the main region
  auto pen = PlugPen(options);
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  // Well into the main region: back from the first restart and open again.
  ASSERT_TRUE(WaitFor([&] { return pen->RestartCount() == 1 && pen->RequestCount() > 200; }));
  auto intruder = Bus()->PlugNewPen();
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  Bus()->Unplug(intruder);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_EQ(intruder->RequestCount(), 0u);
}

TEST_F(UpgradeSessionTest, EscapeAndCloseRequestsAreRefusedWhileTheFlashIsWritten) {
  auto pen = PlugPen();
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RequestCount() > 10; }));
  ui::PressEscape(m_dialog);
  ui::PostClose(m_dialog);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  ExpectUpgraded(*pen);
  ui::PressEscape(m_dialog);  // once the upgrade is over, Escape ends the dialog again
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
}

}  // namespace
