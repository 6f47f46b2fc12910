// The USB device descriptor the pen reports in each of its states.
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

using DeviceDescriptorFields = PenTest;

std::uint16_t Word(const DeviceDescriptor& descriptor, std::size_t offset) {
  return static_cast<std::uint16_t>(descriptor[offset] | descriptor[offset + 1] << 8);
}

TEST_F(DeviceDescriptorFields, HasTheStandardLayoutWithTheRunningMainVersion) {
  PlugAndOpen();
  DeviceDescriptor descriptor{};
  ASSERT_EQ(link->ReadDescriptor(descriptor), PenLink::Result::Ok);
  EXPECT_EQ(descriptor[0], 18);  // bLength
  EXPECT_EQ(descriptor[1], 1);   // DEVICE
  EXPECT_EQ(Word(descriptor, 2), 0x0200);
  EXPECT_EQ(Word(descriptor, 8), 0x1D50);
  EXPECT_EQ(Word(descriptor, 10), 0x0204);
  EXPECT_EQ(Word(descriptor, 12), 0x0310);
  EXPECT_EQ(descriptor[17], 1);  // bNumConfigurations
}

TEST_F(DeviceDescriptorFields, VersionFollowsTheMainImageAndIsZeroInDfuMode) {
  PenOptions options;
  options.mainMajor = 99;
  options.mainMinor = 0x00;
  auto pen = bus->PlugNewPen(options);
  EXPECT_EQ(Word(pen->Descriptor(), 12), 0x6300);
  bus->Unplug(pen);
  ASSERT_TRUE(bus->Plug(pen, /*holdFunctionButton=*/true));
  EXPECT_EQ(Word(pen->Descriptor(), 10), 0x0204);
  EXPECT_EQ(Word(pen->Descriptor(), 12), 0x0000);
}

TEST_F(DeviceDescriptorFields, ProductIdIsSettableFromTheNextBootAndShowsInTheInterfaceName) {
  PenOptions options;
  options.productId = 0x0301;
  options.serial = "FOREIGN1";
  auto pen = bus->PlugNewPen(options);
  EXPECT_EQ(Word(pen->Descriptor(), 10), 0x0301);
  EXPECT_EQ(pen->InterfaceName(),
            "\\\\?\\USB#VID_1D50&PID_0301#FOREIGN1#{a165badf-6e6a-4126-85c1-bfbe09014345}");
  pen->SetProductId(0x0204);
  EXPECT_EQ(Word(pen->Descriptor(), 10), 0x0301);
  bus->Unplug(pen);
  ASSERT_TRUE(bus->Plug(pen));
  EXPECT_EQ(Word(pen->Descriptor(), 10), 0x0204);
  EXPECT_NE(pen->InterfaceName().find("&PID_0204#"), std::string::npos);
}

}  // namespace
}  // namespace virtualpen::testing
