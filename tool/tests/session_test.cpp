// While an upgrade runs, and only then, the dialog holds the session: it refuses
// the session's end, gives the system its reason and keeps the PC awake, all on its
// own thread; the tick that sees the outcome lets go, before any box waits for the user.
#include <atomic>
#include <sstream>
#include <tuple>

#include "tool/tests/dialog_fixture.h"

namespace {

class SessionTest : public DialogTest {
 protected:
  HWND OpenDialog() {
    DialogTest::OpenDialog();
    m_uiThread = m_ui.get_id();
    return m_dialog;
  }

  // The session calls so far, each marked when not made as the dialog must make it.
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    for (const ui::SessionCall& call : ui::SessionCalls()) {
      std::string text;
      switch (call.kind) {
        case ui::SessionCallKind::BlockReasonCreate:
          text = call.reason == L"Firmware upgrade in progress. Do not unplug the pen or switch off the computer."
                     ? "block reason"
                     : "another block reason";
          break;
        case ui::SessionCallKind::BlockReasonDestroy:
          text = "no block reason";
          break;
        case ui::SessionCallKind::ExecutionState:
          text = call.flags == (ES_CONTINUOUS | ES_SYSTEM_REQUIRED) ? "awake"
                 : call.flags == ES_CONTINUOUS                       ? "may sleep"
                                                                     : "flags " + std::to_string(call.flags);
          break;
      }
      if (call.kind != ui::SessionCallKind::ExecutionState && call.window != m_dialog) text += " (another window)";
      if (call.thread != m_uiThread) text += " (another thread)";
      calls.push_back(text);
    }
    return calls;
  }

  // About a second of real time for a whole upgrade.
  static virtualpen::PenOptions SlowPen() {
    virtualpen::PenOptions options;
    options.timing.latencyMs = 100;
    return options;
  }

  const std::vector<std::string> kHeld = {"block reason", "awake"};
  const std::vector<std::string> kHeldAndReleased = {"block reason", "awake", "no block reason", "may sleep"};
  std::thread::id m_uiThread;
};

TEST_F(SessionTest, HeldFromStartToTheTickThatSeesTheUpgradeDone) {
  auto pen = PlugPen(SlowPen());
  OpenDialog();
  EXPECT_EQ(ui::QueryEndSession(m_dialog), TRUE);
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RequestCount() > 10; }));
  EXPECT_EQ(ui::QueryEndSession(m_dialog), FALSE);
  EXPECT_EQ(Calls(), kHeld);
  ASSERT_TRUE(WaitFor([&] { return Completed() || Closed(); }));
  EXPECT_EQ(Calls(), kHeldAndReleased);
  EXPECT_EQ(ui::QueryEndSession(m_dialog), TRUE);
}

// The failure box stays open over ten of the timer's ticks: the session was let
// go before it, and while it is open nothing on the dialog changes, no second box
// opens, and Start and Exit stay disabled. The engine's reason goes into the
// traffic record (a replay passes over it: no_dfu_announcement.jsonl has one).
TEST_F(SessionTest, ReleasedBeforeTheFailureBoxAndNothingRepeatsWhileItStaysOpen) {
  virtualpen::PenOptions options;
  options.identityBlock[0] = 0x65;
  auto record = std::make_shared<std::stringstream>();
  Bus()->StartRecord(record);
  PlugPen(options);
  OpenDialog();
  using Shown = std::tuple<std::string, int, bool, bool>;
  const auto shown = [this] {
    return Shown{Status(), ui::GetProgressPos(m_dialog, IDC_PROGRESS), StartEnabled(), ExitEnabled()};
  };
  std::optional<Shown> atTheBox;
  std::vector<std::string> callsAtTheBox;
  std::optional<BOOL> answerAtTheBox;
  std::chrono::steady_clock::time_point opened;
  std::atomic<bool> answered{false};
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo&) {
    if (!atTheBox) {
      atTheBox = shown(), callsAtTheBox = Calls(), answerAtTheBox = ui::QueryEndSession(m_dialog);
      opened = std::chrono::steady_clock::now();
    }
    if (std::chrono::steady_clock::now() - opened < afx::Scaled(10 * kUpgradeTimerPeriodMs)) return 0;
    EXPECT_EQ(shown(), *atTheBox);
    answered = true;
    return IDOK;
  });
  ui::ClickButton(m_dialog, IDC_START);
  // The box's loop looks at the clock after each message it handles: keep it busy.
  EXPECT_TRUE(WaitFor([&] {
    PostMessageA(m_dialog, WM_USER, 0, 0);  // nothing the dialog handles
    return answered.load();
  }));
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
  EXPECT_EQ(BoxesWithText(kFailureText), 1);
  EXPECT_FALSE(std::get<2>(*atTheBox) || std::get<3>(*atTheBox));  // Start, Exit
  EXPECT_EQ(callsAtTheBox, kHeldAndReleased);
  EXPECT_EQ(answerAtTheBox, TRUE);
  EXPECT_EQ(Calls(), kHeldAndReleased);
  Bus()->StopRecord();
  EXPECT_NE(record->str().find(R"(,"event":"failure","text":"Bad serial number magic"})"), std::string::npos);
}

// Ended mid-upgrade by a command no user can give (Exit is disabled), the dialog
// still gives the PC back on its way out.
TEST_F(SessionTest, ReleasedWhenTheDialogEndsDuringTheUpgrade) {
  auto pen = PlugPen(SlowPen());
  OpenDialog();
  ui::ClickButton(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([&] { return pen->RequestCount() > 10; }));
  ui::PostCommand(m_dialog, IDOK);
  EXPECT_EQ(WaitForDialogEnd(), IDOK);
  EXPECT_EQ(Calls(), kHeldAndReleased);
}

}  // namespace
