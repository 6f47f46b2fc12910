// While an upgrade runs, and only then, the dialog holds the session: it refuses
// the session's end, gives the system its reason and keeps the PC awake, all on its
// own thread; the tick that sees the outcome lets go, before any box waits for the user.
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

TEST_F(SessionTest, ReleasedBeforeTheFailureBoxWaitsForTheUser) {
  virtualpen::PenOptions options;
  options.identityBlock[0] = 0x65;
  PlugPen(options);
  OpenDialog();
  std::vector<std::string> atTheBox;
  std::optional<BOOL> answerAtTheBox;
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo&) {
    atTheBox = Calls();
    answerAtTheBox = ui::QueryEndSession(m_dialog);
    return IDOK;
  });
  ui::ClickButton(m_dialog, IDC_START);
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);
  EXPECT_EQ(atTheBox, kHeldAndReleased);
  EXPECT_EQ(answerAtTheBox, TRUE);
  EXPECT_EQ(Calls(), kHeldAndReleased);
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
