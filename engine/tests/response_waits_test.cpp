// Waiting for a response: up to three attempts of 2 s each, every attempt
// sending the request again.
#include "engine/tests/engine_fixture.h"

namespace {

using ResponseWaits = EngineTest;

TEST_F(ResponseWaits, ThreeUnansweredAttemptsNameTheCommand) {
  respond = [](const Bytes&) {};
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No response to flash read command");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No response to flash write command");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "No response to flash erase command");
  ASSERT_EQ(sent.size(), 9u);
  for (std::size_t i = 0; i < 9; ++i) EXPECT_EQ(sent[i].bytes, sent[i / 3 * 3].bytes) << i;
}

TEST_F(ResponseWaits, AnswerToTheThirdAttemptIsTaken) {
  respond = [this](const Bytes& request) {
    if (sent.size() == 3) Deliver(Execute(request));
  };
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "");
  EXPECT_EQ(sent.size(), 3u);
}

// The answer to the first request, arriving a quarter, nine tenths or eleven
// tenths of an attempt after it was sent; later requests are not answered. Time
// runs at half speed so that 200 ms of product time stay 100 ms of real time.
TEST_F(ResponseWaits, AnswerWithinTheAttemptIsTakenByItAndALateOneByTheNext) {
  const struct {
    std::uint32_t afterMs;
    std::size_t requests;
  } cases[] = {{500, 1}, {1800, 1}, {2200, 2}};
  afx::SetTimeScale(0.5);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.afterMs);
    sent.clear();
    respond = [&](const Bytes& request) {
      if (sent.size() == 1) Deliver(Execute(request), c.afterMs);
    };
    EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "");
    EXPECT_EQ(sent.size(), c.requests);
  }
}

}  // namespace
