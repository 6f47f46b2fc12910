// Whatever happens to the pen during an upgrade, a fresh run of the tool
// finishes it. Power is cut at every request of a whole upgrade and during both
// restarts; then every restart fault strikes at both restarts. Each run ends in
// the failure box or in a success over correct flash, and a clean rerun then
// upgrades the pen.
#include <cstdio>

#include "tool/tests/campaign_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;

using RecoveryCampaign = CampaignTest;

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

// A fault in an answer ends either way, and both ends are judged above: the
// failure box and its rerun by the power cuts, the engine's reading of each
// answer by its own tests and the fuzz target. A restart fault is the tool's.
TEST_F(RecoveryCampaign, EveryRestartFaultEndsCleanlyAndARerunUpgrades) {
  std::fprintf(stderr, "%-10s restart 1, 2", "");
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
