// The record's times, which a replay at test speed cannot show: the writer
// stamps real milliseconds, and the player spaces the pen's packets and its
// return from a restart as the record has them, counted from the request; and
// what the player says of a host that strays from the record.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

#include "record/record_player.h"
#include "record/traffic_record.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

TEST(TrafficRecord, StampsRealMillisecondsSinceItsStart) {
  std::string last;
  record::TrafficRecord record;
  const Clock::time_point started = Clock::now();
  record.Start([&last](const std::string& line) { return !(last = line).empty(); });
  const Clock::time_point afterStart = Clock::now();
  while (Clock::now() < afterStart + std::chrono::milliseconds(30)) {  // waited for on the clock itself
  }
  const Clock::time_point before = Clock::now();
  record.Event("unplug", "PEN1");
  const double ms = std::stod(last.substr(8));  // {"t_ms":
  EXPECT_GE(ms, MsBetween(afterStart, before) - 0.001);
  EXPECT_LE(ms, MsBetween(started, Clock::now()) + 0.001);
}

TEST(TrafficRecord, EscapesWhatJsonNeedsAndFailsForAFileThatCannotBeMade) {
  EXPECT_EQ(record::JsonString("\\\\?\\USB#\"x\"\n"), R"("\\\\?\\USB#\"x\"\u000a")");
  record::TrafficRecord record;
  EXPECT_FALSE(record.Start("/nonexistent-directory/record.jsonl"));
  EXPECT_FALSE(record.IsOn());
}

class RecordPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(m_path) << R"({"t_ms":10.000,"event":"plug","pen":"P1","interface":"\\?\USB#P1"}
{"t_ms":10.500,"event":"descriptor","pen":"P1","hex":"12010002ff000040501d0402100301020301"}
{"t_ms":20.000,"dir":"to_pen","pen":"P1","hex":"fa01"}
{"t_ms":23.500,"dir":"from_pen","pen":"P1","hex":"2401"}
{"t_ms":30.000,"dir":"from_pen","pen":"P1","hex":"2402"}
{"t_ms":40.000,"dir":"to_pen","pen":"P1","hex":"fb"}
{"t_ms":41.000,"event":"restart","pen":"P1"}
{"t_ms":41.250,"event":"unplug","pen":"P1"}
{"t_ms":141.000,"event":"plug","pen":"P1","interface":"\\?\USB#P1"}
)";
    std::string error;
    m_player = record::RecordPlayer::Load(m_path, error);
    ASSERT_NE(m_player, nullptr) << error;
    record::RecordPlayer::Step step;
    ASSERT_TRUE(m_player->Plug(step));
    EXPECT_TRUE(step.packets.empty());
  }
  void TearDown() override { std::remove(m_path.c_str()); }

  const std::string m_path = ::testing::TempDir() + "timed.jsonl";
  std::unique_ptr<record::RecordPlayer> m_player;
  const std::uint8_t m_read[2] = {0xFA, 0x01};
};

TEST_F(RecordPlayerTest, SpacesPacketsFromTheirRequestAndTheReturnFromTheRestart) {
  auto step = m_player->Message(m_read, sizeof m_read);
  ASSERT_EQ(step.packets.size(), 2u);
  EXPECT_DOUBLE_EQ(step.packets[0].ms, 3.5);
  EXPECT_DOUBLE_EQ(step.packets[1].ms, 10.0);
  EXPECT_EQ(step.leave, record::RecordPlayer::Step::Leave::Stays);

  const std::uint8_t restart[] = {0xFB};
  step = m_player->Message(restart, sizeof restart);
  EXPECT_EQ(step.leave, record::RecordPlayer::Step::Leave::Restarts);
  ASSERT_TRUE(step.backAfterMs.has_value());
  EXPECT_DOUBLE_EQ(*step.backAfterMs, 100.0);  // from the restart to the plug, not from the unplug
  EXPECT_EQ(m_player->Verdict(), "");
}

TEST_F(RecordPlayerTest, VerdictNamesTheRequestNotSentOrTheFirstThatDiffers) {
  EXPECT_EQ(m_player->Verdict(), "line 3 of " + m_path + ": the tool stopped before this request: fa01");
  const std::uint8_t other[] = {0xFA, 0x02};
  EXPECT_EQ(m_player->Message(other, sizeof other).leave, record::RecordPlayer::Step::Leave::Unplugs);
  EXPECT_EQ(m_player->Verdict(),
            "line 3 of " + m_path + ": the tool sent fa02, the record has fa01 (they differ from byte 1)");
  EXPECT_TRUE(m_player->Message(m_read, sizeof m_read).packets.empty());  // the replay has ended
}

}  // namespace
