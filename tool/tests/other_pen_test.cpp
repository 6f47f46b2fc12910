// Another pen during an upgrade: one that turns up while a command waits for the
// pen that vanished, and one plugged in before or during a restart. The upgrader
// is never given a pen that was not checked: the other pen's flash never
// changes, and the first pen ends upgraded, at once or on a rerun.
#include "tool/tests/campaign_fixture.h"

namespace {

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;
using Pen = std::shared_ptr<virtualpen::VirtualPen>;

class OtherPenTest : public CampaignTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) m_timing = virtualpen::kRealisticTiming;
    CampaignTest::SetUp();
  }

  // A 3.10 pen of `product` with a serial number (identity block) of its own.
  Pen OtherPen(std::uint16_t product) const {
    auto options = PenOptions();
    options.productId = product;
    options.identityBlock = virtualpen::IdentityBlockWithSerialNumber(0x2222);
    return std::make_shared<virtualpen::VirtualPen>(options);
  }
  static Bytes WholeFlash(const virtualpen::VirtualPen& pen) { return pen.ReadFlash(0, 0x80000); }
};

INSTANTIATE_TEST_SUITE_P(Timing, OtherPenTest, ::testing::Bool(),
                         [](const auto& timing) { return timing.param ? "Realistic" : "Zero"; });

// The pen vanishes on receiving request N and another one (or itself) is plugged
// in 500 ms later, inside the 2 s wait: the command fails as with a missing pen.
TEST_P(OtherPenTest, APenArrivingDuringACommandsWaitIsNeverGivenTheRest) {
  enum class Newcomer { SameProduct, OtherProduct, SamePen };
  // A read, an erase, a write and the boot-control word.
  for (const std::uint32_t request : {5u, 10u, 11u, kRequestsPerUpgrade}) {
    for (const Newcomer kind : {Newcomer::SameProduct, Newcomer::OtherProduct, Newcomer::SamePen}) {
      SCOPED_TRACE(::testing::Message() << "request " << request << ", newcomer " << static_cast<int>(kind));
      const Pen newcomer = kind == Newcomer::SamePen ? m_pen : OtherPen(kind == Newcomer::SameProduct ? 0x0204 : 0x0205);
      const Bytes flash = WholeFlash(*newcomer);
      m_pen->AddFault(RequestFault{RequestFaultKind::UnplugAtRequest, request, 1, 0});
      Bus()->PlugAfter(newcomer, m_pen, virtualpen::Departure::Unplug, 1, 500);
      EXPECT_EQ(Name(RunTool()), Name(Outcome::FailureBox));
      EXPECT_EQ(LastOutcome().failure, "No handle to USB driver");
      if (kind == Newcomer::SamePen) {
        EXPECT_EQ(m_pen->RequestCount(), request);  // nothing after it came back
      } else {
        EXPECT_EQ(newcomer->RequestCount(), 0u);
        EXPECT_EQ(WholeFlash(*newcomer), flash);
        Bus()->Unplug(newcomer);
      }
      EXPECT_TRUE(RerunUpgrades());
      ResetPen();
    }
  }
}

// The restarted pen is known by its interface path: a second pen plugged in
// before the restarts, or while the pen is away in one, neither stops the
// upgrade nor is written (one under another path is read only to tell it apart).
TEST_P(OtherPenTest, ASecondPenAtARestartNeitherStopsTheUpgradeNorIsWritten) {
  for (const std::uint16_t product : {std::uint16_t{0x0204}, std::uint16_t{0x0205}}) {
    for (const int restart : {0, 1, 2}) {  // 0: plugged in at Start, before both
      SCOPED_TRACE(::testing::Message() << "product 0x" << std::hex << product << ", restart " << restart);
      const Pen second = OtherPen(product);
      const Bytes flash = WholeFlash(*second);
      if (restart > 0) Bus()->PlugAfter(second, m_pen, virtualpen::Departure::Restart, restart, 10);  // away 50 ms
      EXPECT_EQ(Name(RunTool([&] {
                  if (restart == 0) Bus()->Plug(second);
                })),
                Name(Outcome::Completed));
      EXPECT_TRUE(IsUpgraded(*m_pen));
      EXPECT_TRUE(ui::MessageBoxHistory().empty());
      EXPECT_LE(second->RequestCount(), restart > 0 && product == 0x0204 ? 1u : 0u);
      EXPECT_EQ(WholeFlash(*second), flash);
      Bus()->Unplug(second);
      ResetPen();
    }
  }
}

// The pen stays away after its first restart, and a copy of it, its flash as it
// was when it left, turns up under another path: it is taken only when its
// identity block is the restarted pen's; otherwise the restart's time limit
// ends the run and nothing is written.
TEST_P(OtherPenTest, APenBackUnderAnotherPathIsTakenOnlyWithTheSameIdentity) {
  for (const bool sameIdentity : {true, false}) {
    SCOPED_TRACE(sameIdentity ? "same identity" : "another identity");
    const Pen copy = OtherPen(0x0204);
    m_pen->AddFault(RestartFault{RestartFaultKind::NeverReturn, 1});
    Bytes flash;
    const Outcome outcome = RunTool([&] {
      ASSERT_TRUE(WaitFor([&] { return m_pen->RestartCount() == 1 && !m_pen->IsOnBus(); }));
      flash = WholeFlash(*m_pen);
      if (!sameIdentity) flash[0x4005] ^= 0x5A;  // another serial number
      copy->LoadFlash(0, flash);
      ASSERT_TRUE(Bus()->Plug(copy));  // boots into DFU mode: the boot-control word is erased
    });
    if (sameIdentity) {
      EXPECT_EQ(Name(outcome), Name(Outcome::Completed));
      EXPECT_TRUE(IsUpgraded(*copy));
    } else {
      EXPECT_EQ(Name(outcome), Name(Outcome::FailureBox));
      EXPECT_EQ(LastOutcome().failure, "Device did not restart");
      EXPECT_EQ(WholeFlash(*copy), flash);
    }
    Bus()->Unplug(copy);
    ResetPen();
  }
}

}  // namespace
