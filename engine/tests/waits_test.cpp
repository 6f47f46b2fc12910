// Every wait for the pen, met by a pen a little faster than its limit and missed
// by one a little slower: 2 s per attempt (three attempts, each sending the
// request again), 15 s for its return after a restart, then 10 s for its
// DFU-mode announcement.
#include "engine/tests/engine_fixture.h"
#include "engine/tests/upgrader_probe.h"
#include "usb/pen_channel.h"

namespace {

using Waits = EngineTest;

TEST_F(Waits, ThreeUnansweredAttemptsNameTheCommandAndAnAnswerToTheThirdIsTaken) {
  respond = [](const Bytes&) {};
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No response to flash read command");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No response to flash write command");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "No response to flash erase command");
  ASSERT_EQ(sent.size(), 9u);
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(sent[i].bytes, sent[i / 3 * 3].bytes) << i;
  respond = [this](const Bytes& request) {
    if (sent.size() == 12) Deliver(Execute(request));
  };
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "");
  EXPECT_EQ(sent.size(), 12u);
}

// A send that the driver held until the channel gave up has taken its attempt's
// time: the next attempt goes at once, without waiting even for an answer that is
// already there, and after the third the command fails as unanswered. A send that
// failed otherwise (here with an informational status) may have reached the pen:
// its answer is waited for.
TEST_F(Waits, ASendTheChannelGaveUpOnIsSentAgainAtOnce) {
  for (const auto& [result, sends] : {std::pair<std::uint32_t, std::size_t>{kRequestTimeoutResult, 2}, {0x40000000, 1}}) {
    sent.clear();
    sendResults = {{1, result}};
    EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "") << result;
    EXPECT_EQ(sent.size(), sends) << result;
  }
  sent.clear();
  respond = [](const Bytes&) {};
  sendResults = {{1, kRequestTimeoutResult}, {2, kRequestTimeoutResult}, {3, kRequestTimeoutResult}};
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "No response to flash erase command");
  EXPECT_EQ(sent.size(), 3u);
}

// The answer to the first request comes after a quarter, nine tenths or eleven
// tenths of an attempt; the requests sent again get none. At half speed the
// 200 ms either side of the limit are 100 ms of real time.
TEST_F(Waits, AnswerWithinAnAttemptIsTakenByItAndALateOneByTheNext) {
  afx::SetTimeScale(0.5);
  for (const auto& [afterMs, requests] : {std::pair<std::uint32_t, std::size_t>{500, 1}, {1800, 1}, {2200, 2}}) {
    sent.clear();
    respond = [&, afterMs = afterMs](const Bytes& request) {
      if (sent.size() == 1) Deliver(Execute(request), afterMs);
    };
    EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "") << afterMs;
    EXPECT_EQ(sent.size(), requests) << afterMs;
  }
}

// At this scale a second of product time is 80 ms.
TEST_F(Waits, PenMustBeBackWithin15SecondsAndInDfuModeWithin10More) {
  afx::SetTimeScale(0.08);
  upgrader->BeginRun(*this);
  const struct {
    std::uint32_t backMs, announceMs;
    const char* failure;
  } cases[] = {{12000, 0, ""}, {16000, 0, "Device did not restart"}, {0, 9000, ""},
               {0, 11000, "Device did not restart in DFU mode"}};
  for (const auto& c : cases) {
    restartMs = c.backMs, announceMs = c.announceMs;
    EXPECT_EQ(FailureOf([&] { upgrader->EnterDfuMode(); }), c.failure) << c.backMs + c.announceMs;
    StopAnswering();
  }
  EXPECT_EQ(restartsAfter.size(), 4u);
}

TEST_F(Waits, NoRestartWithoutARestartFunction) {
  upgrader->PenBack(PenHandle(), true);  // a stale return must not pass for a restart either
  EXPECT_EQ(FailureOf([&] { upgrader->RestartDevice(); }), "No restart function defined");
  EXPECT_FALSE(UpgraderProbe::PenWasBack(*upgrader));
  EXPECT_TRUE(restartsAfter.empty());
}

}  // namespace
