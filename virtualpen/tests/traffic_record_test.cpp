// The traffic record: one JSON object per line for every packet and bus event.
#include "pen_test_support.h"

#include <sstream>

namespace virtualpen::testing {
namespace {

using TrafficRecordLines = PenTest;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The line without its time stamp, which cannot be predicted.
std::string Untimed(const std::string& line) {
  const auto comma = line.find(',');
  EXPECT_EQ(line.rfind("{\"t_ms\":", 0), 0u) << line;
  return comma == std::string::npos ? line : "{" + line.substr(comma + 1);
}

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
  bus->Unplug(pen);  // not recorded any more

  const auto lines = Lines(out->str());
  ASSERT_EQ(lines.size(), 8u) << out->str();
  const std::string plug =
      R"({"event":"plug","pen":"REC1","interface":"\\\\?\\USB#VID_1D50&PID_0204#REC1#{a165badf-6e6a-4126-85c1-bfbe09014345}"})";
  EXPECT_EQ(Untimed(lines[0]), plug);
  EXPECT_EQ(Untimed(lines[1]).rfind(R"({"dir":"from_pen","pen":"REC1","hex":")", 0), 0u);
  EXPECT_EQ(Untimed(lines[2]), R"({"dir":"to_pen","pen":"REC1","hex":"faf0004000000100"})");
  // Response: length 0x0015, sequence 1, type 0x8001, then fa 00, OK, read, address, size, data, checksum.
  EXPECT_EQ(Untimed(lines[3]),
            R"({"dir":"from_pen","pen":"REC1","hex":"150001000180fa0000f0004000000100669affffff"})");
  EXPECT_EQ(Untimed(lines[4]), R"({"dir":"to_pen","pen":"REC1","hex":"fb"})");
  EXPECT_EQ(Untimed(lines[5]), R"({"event":"restart","pen":"REC1"})");
  EXPECT_EQ(Untimed(lines[6]), R"({"event":"unplug","pen":"REC1"})");
  EXPECT_EQ(Untimed(lines[7]), plug);
  double last = 0;  // time stamps in milliseconds, never going back
  for (const auto& line : lines) {
    EXPECT_GE(std::stod(line.substr(8)), last) << line;
    last = std::stod(line.substr(8));
  }
}

TEST(TrafficRecordText, EscapesWhatJsonNeeds) {
  EXPECT_EQ(pen_channel::JsonString("\\\\?\\USB#\"x\"\n"), R"("\\\\?\\USB#\"x\"\u000a")");
}

TEST(TrafficRecordText, StartFailsForAFileThatCannotBeMade) {
  pen_channel::TrafficRecord record;
  EXPECT_FALSE(record.Start("/nonexistent-directory/record.jsonl"));
  EXPECT_FALSE(record.IsOn());
}

}  // namespace
}  // namespace virtualpen::testing
