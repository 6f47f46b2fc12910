// Whatever happens to the pen during an upgrade, a fresh run of the tool
// finishes it. Power is cut at every request of a whole upgrade and during both
// restarts; then every request fault strikes at points spread over the upgrade,
// and every restart fault at both restarts. Each run ends in the failure box or
// in a success over correct flash, and a clean rerun then upgrades the pen.
#include <cstdio>
#include <map>

#include "tool/tests/dialog_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;

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

class RecoveryCampaign : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    virtualpen::PenOptions options;
    options.restartDelayMs = 50;
    m_pen = PlugPen(options);
    m_lowFlash = m_pen->ReadFlash(0, 0x7000);
  }

  // One run of a fresh tool, as a user would: Start once it is enabled, Exit at the end.
  Outcome RunTool(const std::function<void()>& whileRunning = {}) {
    ui::ClearMessageBoxHistory();
    // The last plug's arrival must not reach this run's dialog late: after the
    // upgrade it would reopen the pen and show it again instead of the outcome.
    EXPECT_TRUE(Bus()->WaitUntilIdle());
    OpenDialog();
    if (!ui::WaitUntil([&] { return StartEnabled(); }, 2s)) {
      ui::ClickButton(m_dialog, IDOK);
      WaitForDialogEnd();
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
      return cancelled && failureBox && !upgradeRunning && penHandle.load() == nullptr ? Outcome::FailureBox
                                                                                      : Outcome::Stuck;
    }
    ui::ClickButton(m_dialog, IDOK);
    WaitForDialogEnd();
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
    virtualpen::PenOptions options;
    options.restartDelayMs = 50;
    m_pen = std::make_shared<virtualpen::VirtualPen>(options);
    m_pen->LoadFlash(0, m_lowFlash);
    Bus()->Plug(m_pen);
  }

  std::shared_ptr<virtualpen::VirtualPen> m_pen;
};

TEST_F(RecoveryCampaign, EveryPowerCutIsRecoveredByARerun) {
  int recovered = 0;
  for (std::uint32_t request = 1; request <= kRequestsPerUpgrade; ++request) {
    m_pen->AddFault(RequestFault{RequestFaultKind::UnplugAtRequest, request, 1, 0});
    recovered += Judge("power cut at request " + std::to_string(request), true) == std::string("box");
  }
  for (std::uint32_t restart = 1; restart <= 2; ++restart) {
    m_pen->SetRestartDelay(5000);  // away long enough to be cut while away
    const auto cutWhileAway = [&] {
      WaitFor([&] { return (m_pen->RestartCount() == restart && !m_pen->IsOnBus()) || Closed(); });
      Bus()->Unplug(m_pen);
    };
    recovered += Judge("power cut at restart " + std::to_string(restart), true, cutWhileAway) == std::string("box");
  }
  std::fprintf(stderr, "%d/%u recovered\n", recovered, kRequestsPerUpgrade + 2);
}

TEST_F(RecoveryCampaign, EveryFaultEndsCleanlyAndARerunUpgrades) {
  const std::map<RequestFaultKind, std::pair<const char*, std::uint32_t>> requestFaults = {
      {RequestFaultKind::DropResponse, {"drop", 0}},          {RequestFaultKind::DelayResponse, {"delay", 2300}},
      {RequestFaultKind::DuplicateResponse, {"duplicate", 0}}, {RequestFaultKind::CorruptStatus, {"status", 0xFE}},
      {RequestFaultKind::CorruptCommand, {"command", 1}},     {RequestFaultKind::CorruptAddress, {"address", 4}},
      {RequestFaultKind::CorruptSize, {"size", 1}},           {RequestFaultKind::CorruptChecksum, {"checksum", 1}},
      {RequestFaultKind::TruncateResponse, {"truncate", 12}}, {RequestFaultKind::UnplugAtRequest, {"unplug", 0}}};
  // Identity, compare, DFU erase, DFU write, verify, DFU header, boot erase,
  // main erase, main write, main header, main verify, boot erase, boot word.
  const std::uint32_t points[] = {1, 5, 10, 11, 80, 110, 111, 112, 114, 421, 500, 644, 645, 646};
  std::fprintf(stderr, "%-10s", "fault");
  for (std::uint32_t point : points) std::fprintf(stderr, " %4u", point);
  for (const auto& [kind, fault] : requestFaults) {
    std::fprintf(stderr, "\n%-10s", fault.first);
    for (std::uint32_t point : points) {
      m_pen->AddFault(RequestFault{kind, point, 1, fault.second});
      std::fprintf(stderr, " %4s", Judge(std::string(fault.first) + " at request " + std::to_string(point), false));
    }
  }
  std::fprintf(stderr, "\n%-10s restart 1, 2", "");
  const std::pair<RestartFaultKind, const char*> restartFaults[] = {
      {RestartFaultKind::NeverReturn, "never-back"},
      {RestartFaultKind::NoDfuAnnouncement, "no-dfu"},
      {RestartFaultKind::ForeignProduct, "foreign"}};
  for (const auto& [kind, name] : restartFaults) {
    std::fprintf(stderr, "\n%-10s", name);
    for (std::uint32_t restart = 1; restart <= 2; ++restart) {
      m_pen->AddFault(RestartFault{kind, restart, 0x0205});
      std::fprintf(stderr, " %4s", Judge(std::string(name) + " at restart " + std::to_string(restart), false));
    }
  }
  std::fprintf(stderr, "\n");
}

}  // namespace
