// Counting and opening pens over the virtual bus, with the diagnostic lines and
// devicePath that the Windows backend gives.
#include "channel_test_support.h"

#include <string>

namespace channel_testing {
namespace {

using Discovery = VirtualChannel;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

virtualpen::PenOptions Serial(const char* serial) {
  virtualpen::PenOptions options;
  options.serial = serial;
  return options;
}

TEST_F(Discovery, WithoutAPenCountsNothingAndOpensNothing) {
  EXPECT_EQ(CountPenDevices(), 0);
  CaptureStdout();
  EXPECT_EQ(OpenPenDriver(), nullptr);
  EXPECT_EQ(GetCapturedStdout(), "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n");
  EXPECT_EQ(devicePath, nullptr);
}

TEST_F(Discovery, CountsEveryPenAndOpensTheFirstNamingItsInterface) {
  auto first = bus->PlugNewPen(Serial("FIRST"));
  bus->PlugNewPen(Serial("SECOND"));
  EXPECT_EQ(CountPenDevices(), 2);
  const std::string name = first->InterfaceName();
  CaptureStdout();
  HANDLE handle = OpenPenDriver();
  HANDLE again = OpenPenDriver();
  EXPECT_EQ(GetCapturedStdout(), "Symbolic link is " + name + "\nSymbolic link is " + name + "\n");
  ASSERT_NE(handle, nullptr);
  EXPECT_NE(handle, again);  // every opening has its own handle
  ASSERT_NE(devicePath, nullptr);
  EXPECT_EQ(std::string(devicePath), name);
  ReleaseDevicePath();
  EXPECT_EQ(devicePath, nullptr);
  ClosePenDriver(handle);
  ClosePenDriver(again);
}

TEST_F(Discovery, AnInterfaceThatCannotBeOpenedStillReplacesDevicePath) {
  auto older = bus->PlugNewPen(Serial("OLDER"));
  CaptureStdout();
  HANDLE handle = OpenPenDriver();
  bus->Unplug(older);
  auto held = bus->PlugNewPen(Serial("HELD"));
  held->SetOpenRefused(true);
  EXPECT_EQ(OpenPenDriver(), nullptr);
  GetCapturedStdout();
  ASSERT_NE(devicePath, nullptr);
  EXPECT_EQ(std::string(devicePath), held->InterfaceName());
  ClosePenDriver(handle);
}

}  // namespace
}  // namespace channel_testing
