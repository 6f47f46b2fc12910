// Waiting for responses: three attempts of 2 s each, and what a late response
// does to the attempt or command that is waiting when it arrives.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class ResponseWaits : public EngineTest {};

TEST_F(ResponseWaits, ThreeUnansweredAttemptsNameTheCommand) {
  respond = [](const Bytes&) {};
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "No response to flash read command");
  EXPECT_EQ(FailureOf([&] { upgrader->WriteFlash(Bytes(4, 0), 0, 4, 0x7000); }), "No response to flash write command");
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x7000); }), "No response to flash erase command");

  const auto sent = scripted::Sent();
  ASSERT_EQ(sent.size(), 9u);
  for (std::size_t command = 0; command < 3; ++command) {
    EXPECT_EQ(sent[3 * command].bytes, sent[3 * command + 1].bytes);
    EXPECT_EQ(sent[3 * command].bytes, sent[3 * command + 2].bytes);
  }
}

TEST_F(ResponseWaits, AnswerToTheThirdAttemptIsAccepted) {
  int requests = 0;
  respond = [&](const Bytes& request) {
    if (++requests == 3) Deliver(pen.Answer(request));
  };
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x9000); }), "");
  EXPECT_EQ(scripted::Sent().size(), 3u);
}

TEST_F(ResponseWaits, LateAnswerToTheSameRequestIsAccepted) {
  Bytes firstRequest;
  respond = [&](const Bytes& request) {
    if (firstRequest.empty()) {
      firstRequest = request;  // its answer comes only after the second attempt was sent
    } else {
      Deliver(pen.Answer(firstRequest));
    }
  };
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x4000, 16); }), "");
  EXPECT_EQ(scripted::Sent().size(), 2u);
}

TEST_F(ResponseWaits, LateAnswerToAnEarlierCommandFailsTheNextOne) {
  upgrader->ReadFlash(0x8000, 1024);
  respond = [](const Bytes&) {};  // the erase is never answered: the stale read answer is all there is
  Deliver(pen.Answer(scripted::Sent().back().bytes));
  EXPECT_EQ(FailureOf([&] { upgrader->EraseFlashSector(0x8000); }), "Command response out of sync");

  respond = [this](const Bytes& request) { Deliver(pen.Answer(request)); };
  upgrader->ReadFlash(0x8000, 1024);
  Deliver(pen.Answer(scripted::Sent().back().bytes));
  respond = [](const Bytes&) {};
  EXPECT_EQ(FailureOf([&] { upgrader->ReadFlash(0x8400, 1024); }), "Bad address or size in response");
}

}  // namespace
