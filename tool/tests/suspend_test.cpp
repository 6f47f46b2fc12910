// The PC sleeps in the middle of an upgrade anyway (a closed lid, a critical
// battery): the pen loses power and is gone for 5 s, then boots again as its
// flash says. Gone while the tool waits for an answer, the run ends in the
// failure box; gone while it waits for a restarted pen, the run completes. It
// never completes over wrong flash, and a clean rerun upgrades the pen.
#include "tool/tests/campaign_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;

constexpr std::uint32_t kAsleepMs = 5000;

using SuspendTest = CampaignTest;

TEST_F(SuspendTest, ASleepMidUpgradeEndsSoundlyAndARerunUpgrades) {
  // Identity, compare, DFU erase, DFU write, verify, DFU header, boot erase,
  // main erase, main writes, main header, main verify, boot erase, boot word.
  for (const std::uint32_t request : {1u, 5u, 10u, 11u, 60u, 80u, 110u, 111u, 112u, 114u, 200u, 300u, 421u, 422u, 500u,
                                      644u, 645u, 646u}) {
    m_pen->AddFault(RequestFault{RequestFaultKind::SuspendAtRequest, request, 1, kAsleepMs});
    EXPECT_STREQ(Judge("asleep at request " + std::to_string(request), true), "box");
  }
  for (std::uint32_t restart = 1; restart <= 2; ++restart) {
    m_pen->SetRestartDelay(kAsleepMs);  // away long enough to be caught away
    const auto asleepWhileAway = [&] {
      ASSERT_TRUE(WaitFor([&] { return m_pen->RestartCount() == restart && !m_pen->IsOnBus(); }));
      Bus()->Unplug(m_pen);  // its own return is off
      afx::Sleep(kAsleepMs);
      Bus()->Plug(m_pen);
    };
    EXPECT_STREQ(Judge("asleep at restart " + std::to_string(restart), false, asleepWhileAway), "ok");
  }
}

}  // namespace
