// The traffic record: one JSON object per line for every packet and bus event.
#include "pen_test_support.h"

#include <sstream>

namespace virtualpen::testing {
namespace {

using TrafficRecordLines = PenTest;

TEST_F(TrafficRecordLines, RecordsPacketsBothWaysAndBusEvents) {
  auto out = std::make_shared<std::stringstream>();
  bus->StartRecord(out);
  PenOptions options;
  options.serial = "REC1";
  auto pen = PlugAndOpen(options);
  Answers(Request(kCommandRead, 0x4000, 1));
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  bus->StopRecord();
  bus->Unplug(pen);  // no longer recorded

  const std::string pen1 = R"(,"pen":"REC1")";
  const std::vector<std::string> expected = {
      R"("event":"plug")" + pen1 + "}",
      R"("dir":"from_pen")" + pen1 + R"(,"hex":"1f0000000000)",  // the greeting text, 31 bytes
      R"("dir":"to_pen")" + pen1 + R"(,"hex":"faf0004000000100"})",
      // Length 0x15, sequence 1, type 0x8001; fa 00, OK, read, address, size, data, checksum.
      R"("dir":"from_pen")" + pen1 + R"(,"hex":"150001000180fa0000f0004000000100669affffff"})",
      R"("dir":"to_pen")" + pen1 + R"(,"hex":"fb"})",
      R"("event":"restart")" + pen1 + "}",
      R"("event":"unplug")" + pen1 + "}",
      R"("event":"plug")" + pen1 + "}"};
  std::istringstream in(out->str());
  double last = 0;
  std::size_t count = 0;
  for (std::string line; std::getline(in, line); ++count) {
    ASSERT_LT(count, expected.size()) << line;
    ASSERT_EQ(line.rfind("{\"t_ms\":", 0), 0u) << line;
    const double ms = std::stod(line.substr(8));
    EXPECT_GE(ms, last);  // milliseconds, never going back
    last = ms;
    EXPECT_EQ(line.substr(line.find(',') + 1).rfind(expected[count], 0), 0u) << line;
  }
  EXPECT_EQ(count, expected.size());
}

TEST(TrafficRecordText, EscapesWhatJsonNeedsAndSaysWhenItCannotStart) {
  EXPECT_EQ(JsonString("\\\\?\\USB#\"x\"\n"), R"("\\\\?\\USB#\"x\"\u000a")");
  TrafficRecord record;
  EXPECT_FALSE(record.Start("/nonexistent-directory/record.jsonl"));
  EXPECT_FALSE(record.IsOn());
}

}  // namespace
}  // namespace virtualpen::testing
