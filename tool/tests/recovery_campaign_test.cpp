// Whatever happens to the pen during an upgrade, a fresh run of the tool
// finishes it. Power is cut at every request of a whole upgrade and during both
// restarts; then every request fault strikes at points spread over the upgrade,
// and every restart fault at both restarts. Each run ends in the failure box or
// in a success over correct flash, and a clean rerun then upgrades the pen.
#include <cstdio>
#include <map>

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

TEST_F(RecoveryCampaign, EveryFaultEndsCleanlyAndARerunUpgrades) {
  // One corruption stands for all: each fails its command as the engine's tests
  // name it (engine/tests/flash_requests_test.cpp), and the fuzz target mixes them.
  const std::map<RequestFaultKind, std::pair<const char*, std::uint32_t>> requestFaults = {
      {RequestFaultKind::DropResponse, {"drop", 0}},          {RequestFaultKind::DelayResponse, {"delay", 2300}},
      {RequestFaultKind::DuplicateResponse, {"duplicate", 0}}, {RequestFaultKind::CorruptStatus, {"status", 0xFE}},
      {RequestFaultKind::TruncateResponse, {"truncate", 12}}};  // unplugs: every power cut above
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
