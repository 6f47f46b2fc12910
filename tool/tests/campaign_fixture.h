#pragma once
// Runs of a fresh tool over one older pen, each judged the same way: it ends in
// the failure box or in a success over correct flash, and after a failure a
// clean rerun, as the box tells the user, upgrades the pen. Then a fresh pen for
// the next run.
#include <cstdio>
#include <string>

#include "tool/receive_thread.h"
#include "tool/tests/dialog_fixture.h"

namespace {

constexpr std::uint32_t kRequestsPerUpgrade = 646;  // a 3.10 pen whose DFU region differs

enum class Outcome { Completed, FailureBox, NoPen, Stuck };

const char* Name(Outcome outcome) {
  switch (outcome) {
    case Outcome::Completed: return "completed";
    case Outcome::FailureBox: return "failure box";
    case Outcome::NoPen: return "no pen";
    case Outcome::Stuck: return "stuck";
  }
  return "?";
}

class CampaignTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    m_pen = PlugPen(PenOptions());
  }

  // An older pen, away for 50 ms at a restart, with the campaign's pen time.
  virtualpen::PenOptions PenOptions() const {
    virtualpen::PenOptions options;
    options.restartDelayMs = 50;
    options.timing = m_timing;
    return options;
  }

  // One run of a fresh tool, as a user would: Start once it is enabled, Exit at the end.
  Outcome RunTool(const std::function<void()>& whileRunning = {}) {
    ui::ClearMessageBoxHistory();
    // The last plug's arrival must not reach this run's dialog late: after the
    // upgrade it would reopen the pen and show it again instead of the outcome.
    EXPECT_TRUE(Bus()->WaitUntilIdle());
    OpenDialog();
    if (!testing_support::WaitUntil([&] { return StartEnabled(); }, 2s)) {
      ClickExit();
      return Outcome::NoPen;
    }
    ui::ClickButton(m_dialog, IDC_START);
    if (whileRunning) whileRunning();
    if (!WaitFor([&] { return Completed() || Closed(); })) {
      ADD_FAILURE() << "stuck, showing \"" << Status() << "\", Start " << (StartEnabled() ? "enabled" : "disabled");
      ui::PostCommand(m_dialog, IDOK);
      WaitForDialogEnd();
      return Outcome::Stuck;
    }
    if (Closed()) {
      const bool cancelled = WaitForDialogEnd() == IDCANCEL;
      // One box, the failure's, and the pen let go.
      const bool failureBox = ui::MessageBoxHistory().size() == 1 && BoxesWithText(kFailureText) == 1;
      const bool letGo = WaitFor([] { return RunningReceiveThreads() == 0; });
      const bool failed = LastOutcome().state == UpgradeOutcome::State::Failed;
      return cancelled && failureBox && failed && letGo ? Outcome::FailureBox : Outcome::Stuck;
    }
    ClickExit();
    return Outcome::Completed;
  }

  // After a failure, as the box says: unplug, plug in again (with the function
  // button held if the pen does not come up by itself), run the tool again.
  bool RerunUpgrades() {
    m_pen->ClearFaults();
    Bus()->Unplug(m_pen);
    if (!Bus()->Plug(m_pen) && !Bus()->Plug(m_pen, true)) return false;
    const Outcome outcome = RunTool();
    if (outcome != Outcome::Completed) ADD_FAILURE() << "the rerun ended: " << Name(outcome);
    return outcome == Outcome::Completed && IsUpgraded(*m_pen);
  }

  // One run with a fault set: never a success over wrong flash, and after a
  // failure a clean rerun upgrades. Then a fresh pen for the next run.
  // Returns how it ended for the table: "ok", "box" or "BAD".
  const char* Judge(const std::string& what, bool mustFail, const std::function<void()>& whileRunning = {}) {
    const Outcome outcome = RunTool(whileRunning);
    const bool ok = outcome == Outcome::Completed ? !mustFail && IsUpgraded(*m_pen)
                                                  : outcome == Outcome::FailureBox && RerunUpgrades();
    if (!ok) ADD_FAILURE() << what << ": " << Name(outcome);
    ResetPen();
    return !ok ? "BAD" : outcome == Outcome::Completed ? "ok" : "box";
  }

  // A fresh older pen for the next case, with its low flash as it was.
  void ResetPen() {
    Bus()->Unplug(m_pen);
    m_pen = std::make_shared<virtualpen::VirtualPen>(PenOptions());
    m_pen->LoadFlash(0, m_lowFlash);
    Bus()->Plug(m_pen);
  }

  std::shared_ptr<virtualpen::VirtualPen> m_pen;
  virtualpen::PenTiming m_timing;  // none unless a test sets it before SetUp
};

}  // namespace
