// Timers: WM_TIMER at the scaled period with the timer's ID, until KillTimer or
// the window's end; periods never shorter than asked (a lower bound only, so
// that a loaded machine cannot fail the test).
#include <atomic>
#include <chrono>

#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

using TimerTest = HeadlessTest;
using Clock = std::chrono::steady_clock;

TEST_F(TimerTest, ATimerTicksWithItsIdUntilKilled) {
  afx::SetTimeScale(0.01);  // 1 ms and 10 ms
  ScriptedDialog dialog;
  std::atomic<int> fastTicks{0};
  BOOL killedUnknown = TRUE;
  dialog.onInit = [&] {
    killedUnknown = dialog.KillTimer(77);
    dialog.SetTimer(1, 100, nullptr);
    dialog.SetTimer(2, 1000, nullptr);
  };
  dialog.onTimer = [&](UINT_PTR id) {
    if (id == 1 && ++fastTicks == 3) dialog.KillTimer(1);
    // Timer 2's period is ten of timer 1's: by its second tick a live timer 1 would have ticked again.
    if (id == 2 && dialog.log.Count("timer:2") == 2) dialog.EndDialog(IDOK);
  };
  EXPECT_EQ(RunModal(dialog).get(), IDOK);
  EXPECT_EQ(dialog.log.Count("timer:1"), 3);
  EXPECT_EQ(dialog.log.Count("timer:2"), 2);
  EXPECT_FALSE(killedUnknown);
}

TEST_F(TimerTest, TicksComeNoFasterThanTheScaledPeriod) {
  afx::SetTimeScale(0.02);  // 100 ms -> 2 ms
  ScriptedDialog dialog;
  Clock::time_point first;
  Clock::time_point last;
  dialog.onInit = [&] { dialog.SetTimer(5, 100, nullptr); };
  dialog.onTimer = [&](UINT_PTR) {
    const int ticks = dialog.log.Count("timer:5");
    if (ticks == 1) first = Clock::now();
    if (ticks == 11) {
      last = Clock::now();
      dialog.EndDialog(IDOK);
    }
  };
  RunModal(dialog).get();
  EXPECT_GE(last - first, std::chrono::milliseconds(10 * 2));
}

TEST_F(TimerTest, SettingATimerAgainReplacesIt) {
  afx::SetTimeScale(0.01);  // 1 ms and 10 ms
  ScriptedDialog dialog;
  dialog.onInit = [&] {
    dialog.SetTimer(1, 100, nullptr);
    dialog.SetTimer(1, 100, nullptr);
    dialog.SetTimer(9, 1000, nullptr);
  };
  dialog.onTimer = [&](UINT_PTR id) {
    if (id == 9) dialog.EndDialog(IDOK);
  };
  RunModal(dialog).get();
  // One timer 1 ticked at most ten times in timer 9's period; two would tick twice as often.
  EXPECT_LE(dialog.log.Count("timer:1"), 11);
  EXPECT_GE(dialog.log.Count("timer:1"), 1);
}

TEST_F(TimerTest, PostedMessagesGoBeforeTimers) {
  ScriptedDialog dialog;
  dialog.onInit = [&] {
    dialog.SetTimer(1, 1, nullptr);
    // Both posted before any tick could be generated: they are handled first.
    dialog.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_T_OTHER, BN_CLICKED));
    dialog.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_T_OTHER, BN_CLICKED));
  };
  dialog.onTimer = [&](UINT_PTR) { dialog.EndDialog(IDOK); };
  RunModal(dialog).get();
  const auto events = dialog.log.Events();
  const auto firstTick = std::find(events.begin(), events.end(), "timer:1");
  ASSERT_NE(firstTick, events.end());
  EXPECT_EQ(std::count(events.begin(), firstTick, "other"), 2);
}

TEST_F(TimerTest, TimersEndWithTheirWindow) {
  ScriptedDialog dialog;
  dialog.onInit = [&] { dialog.SetTimer(1, 1, nullptr); };
  dialog.onTimer = [&](UINT_PTR) { dialog.EndDialog(IDOK); };
  RunModal(dialog).get();
  const int ticks = dialog.log.Count("timer:1");
  // The same object runs again: only the new window's timer (none) may tick.
  dialog.onInit = [&] { dialog.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_T_OTHER, BN_CLICKED)); };
  dialog.onOther = [&] { dialog.EndDialog(IDCANCEL); };
  EXPECT_EQ(RunModal(dialog).get(), IDCANCEL);
  EXPECT_EQ(dialog.log.Count("timer:1"), ticks);
}

}  // namespace
}  // namespace afx_test
