// The waits for the pen after a restart: up to 15 s for it to come back, then up
// to 10 s for its DFU-mode announcement. Each limit is met by a pen a little
// faster and missed by one a little slower; at this time scale a second of
// product time is 80 ms of real time.
#include "engine/tests/engine_fixture.h"

namespace {

class RestartWaits : public EngineTest {
 protected:
  RestartWaits() {
    afx::SetTimeScale(0.08);
    upgrader->restartCallback = RestartPen;
  }
};

TEST_F(RestartWaits, PenMustBeBackWithinFifteenSeconds) {
  for (const auto& [backMs, failure] : {std::pair<std::uint32_t, const char*>{12000, ""}, {16000, "Device did not restart"}}) {
    restartMs = backMs;
    EXPECT_EQ(FailureOf([&] { upgrader->RestartDevice(); }), failure) << backMs;
    StopAnswering();
  }
  EXPECT_EQ(restartsAfter.size(), 2u);
}

TEST_F(RestartWaits, DfuModeMustBeAnnouncedWithinTenSecondsOfTheReturn) {
  for (const auto& [announceAfterMs, failure] :
       {std::pair<std::uint32_t, const char*>{9000, ""}, {11000, "Device did not restart in DFU mode"}}) {
    announceMs = announceAfterMs;
    EXPECT_EQ(FailureOf([&] { upgrader->EnterDfuMode(); }), failure) << announceAfterMs;
    EXPECT_TRUE(dfuMode);
    StopAnswering();
  }
}

TEST_F(RestartWaits, NoRestartWithoutARestartFunction) {
  upgrader->restartCallback = nullptr;
  upgrader->restartedSignal.SetEvent();  // a stale signal must not pass for a restart either
  EXPECT_EQ(FailureOf([&] { upgrader->RestartDevice(); }), "No restart function defined");
  EXPECT_FALSE(upgrader->restartedSignal.Lock(0));
  EXPECT_TRUE(restartsAfter.empty());
}

}  // namespace
