// Whole upgrades through the dialog, its threads and a virtual pen, with a pen
// that answers at once and with one that takes real (scaled) time.
#include <mutex>

#include "tool/tests/dialog_fixture.h"

namespace {

using UpgradeTest = DialogTest;
class TimedUpgradeTest : public DialogTest, public ::testing::WithParamInterface<bool> {};

// From older firmware, both restarts included, each with the pen away over
// several ticks. Every tick shows one reading of the progress: the percentage
// is the bar's position in tenths, truncated.
TEST_P(TimedUpgradeTest, FromOlderFirmwareWithTextAndBarAgreeingAtEveryTick) {
  virtualpen::PenOptions options;
  if (GetParam()) options.timing = virtualpen::kRealisticTiming;
  options.restartDelayMs = 3000;
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
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_TRUE(ui::MessageBoxHistory().empty());
  EXPECT_TRUE(IsUpgraded(*pen));
  std::lock_guard<std::mutex> lock(mutex);
  ASSERT_GT(shown.size(), 2u);
  EXPECT_EQ(shown.back().second, 1000);
  bool sawUpperHalf = false;
  for (const auto& [text, pos] : shown) {
    EXPECT_EQ(text, std::to_string(pos / 10) + "%") << "bar at " << pos;
    sawUpperHalf = sawUpperHalf || pos % 10 >= 5;
  }
  EXPECT_TRUE(sawUpperHalf);  // a rounding display would have shown
  EXPECT_EQ(ClickExit(), IDOK);
}

INSTANTIATE_TEST_SUITE_P(Timing, TimedUpgradeTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& param) { return param.param ? "Realistic" : "Zero"; });

TEST_F(UpgradeTest, EscapeAndCloseRequestsAreRefusedWhileTheFlashIsWritten) {
  auto pen = PlugPen();
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RequestCount() > 10; }));
  ui::PressEscape(m_dialog);
  ui::PostClose(m_dialog);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_TRUE(Completed());
  EXPECT_TRUE(IsUpgraded(*pen));
  ui::PressEscape(m_dialog);  // once the upgrade is over, Escape ends the dialog again
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
}

}  // namespace
