// With a record on, the arrivals and removals the device watch passes on become
// plug and unplug lines (a plug once per arrival since the last removal); with
// none, nothing is written.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "record/traffic_record.h"
#include "usb/pen_channel.h"

namespace {

TEST(RecordedNotifications, ArrivalAndRemovalArePlugAndUnplug) {
  const std::string name = R"(\\?\USB#VID_1D50&PID_0204#PEN42#{a165badf-6e6a-4126-85c1-bfbe09014345})";
  RecordPenInterfaceChange(true, name);  // no record yet
  const std::string path = ::testing::TempDir() + "notifications.jsonl";
  ASSERT_TRUE(RecordPenTraffic(path.c_str()));
  RecordPenInterfaceChange(true, name);
  RecordPenInterfaceChange(true, name);  // the same arrival again: still one plug
  RecordPenInterfaceChange(false, name);

  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string record = text.str();
  const auto plug = record.find(R"("event":"plug","pen":"PEN42","interface":)" + record::JsonString(name) + "}");
  const auto unplug = record.find(R"("event":"unplug","pen":"PEN42"})");
  EXPECT_NE(plug, std::string::npos) << record;
  EXPECT_NE(unplug, std::string::npos) << record;
  EXPECT_LT(plug, unplug);
  EXPECT_EQ(record.find("plug", plug + 10), unplug + 11) << record;  // nothing between
}

}  // namespace
