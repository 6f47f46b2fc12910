// What the pen comes up in: at plug-in and after every restart.
#include "pen_test_support.h"

namespace virtualpen::testing {
namespace {

using BootLoader = PenTest;

// Opens the pen that just came up and returns the types of the packets it greeted with.
std::vector<std::uint16_t> Greeting(VirtualBus& bus, const std::shared_ptr<VirtualPen>& pen) {
  auto link = bus.Open();
  std::vector<std::uint16_t> types;
  while (link && pen->QueuedPackets() > 0) types.push_back(PacketType(NextPacket(*link)));
  return types;
}

const std::vector<std::uint16_t> kDfuGreeting = {kPacketText, kPacketDfuMode};

TEST_F(BootLoader, ValidBootWordAndMainHeaderBootTheMainFirmware) {
  auto pen = bus->PlugNewPen();
  EXPECT_EQ(pen->Mode(), PenMode::MainFirmware);
  auto opened = bus->Open();
  const Bytes text = NextPacket(*opened);
  EXPECT_EQ(TextOf(text), "Pen ready: firmware 3.10");
  EXPECT_EQ(text.back(), 0);  // zero-terminated
  EXPECT_EQ(pen->QueuedPackets(), 0u);  // no DFU announcement
}

TEST_F(BootLoader, ErasedOrOtherBootWordOrInvalidMainHeaderBootDfuModeAndAnnounceIt) {
  PenOptions erased;
  erased.startInDfuMode = true;
  auto otherWord = std::make_shared<VirtualPen>();
  otherWord->LoadFlash(kBootControlAddress, {0x00, 0x80, 0x02, 0x00});
  auto noMainMagic = std::make_shared<VirtualPen>();
  noMainMagic->LoadFlash(kMainRegionStart + kBootMagicOffset, Bytes(4, 0xFF));
  for (const auto& pen : {std::make_shared<VirtualPen>(erased), otherWord, noMainMagic}) {
    ASSERT_TRUE(bus->Plug(pen));
    EXPECT_EQ(pen->Mode(), PenMode::DfuMode);
    EXPECT_EQ(Greeting(*bus, pen), kDfuGreeting);
    bus->Unplug(pen);
  }
}

TEST_F(BootLoader, FunctionButtonHeldWhilePluggingInBootsDfuMode) {
  auto pen = std::make_shared<VirtualPen>();
  ASSERT_TRUE(bus->Plug(pen, /*holdFunctionButton=*/true));
  EXPECT_EQ(pen->Mode(), PenMode::DfuMode);
  EXPECT_EQ(Greeting(*bus, pen), kDfuGreeting);
  bus->Unplug(pen);
  ASSERT_TRUE(bus->Plug(pen));  // released
  EXPECT_EQ(pen->Mode(), PenMode::MainFirmware);
}

TEST_F(BootLoader, WithoutBootableDfuFirmwareThePenStaysDark) {
  PenOptions options;
  options.startInDfuMode = true;
  auto pen = std::make_shared<VirtualPen>(options);
  pen->LoadFlash(kDfuRegionStart, Bytes(kSectorSize, 0xFF));
  EXPECT_FALSE(bus->Plug(pen));
  EXPECT_EQ(pen->Mode(), PenMode::Off);
  EXPECT_EQ(bus->PluggedCount(), 0);
}

TEST_F(BootLoader, RestartAfterErasingTheBootWordComesBackInDfuMode) {
  auto pen = PlugAndOpen();
  ASSERT_EQ(Exchange(EraseRequest(kBootControlAddress)).status, kStatusOk);
  Restart();
  EXPECT_EQ(pen->Mode(), PenMode::Off);  // it leaves the bus at once
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_EQ(pen->Mode(), PenMode::DfuMode);
  EXPECT_EQ(Greeting(*bus, pen), kDfuGreeting);
}

TEST_F(BootLoader, RestartAfterWritingTheBootWordComesBackInTheNewMainFirmware) {
  PenOptions options;
  options.startInDfuMode = true;
  auto pen = PlugAndOpen(options);
  // Only the new image's header matters to the boot loader: magic and version 3.18.
  Bytes header(1024, 0x00);
  const Bytes fields = {0xDA, 0xBE, 0xDE, 0xFE, 0, 0, 0, 0, 0, 0, 0, 0, 'F', 'W', 0x18, 0x03};
  std::copy(fields.begin(), fields.end(), header.begin() + 20);
  ASSERT_EQ(Exchange(EraseRequest(kMainRegionStart)).status, kStatusOk);
  ASSERT_EQ(Exchange(WriteRequest(kMainRegionStart, header)).status, kStatusOk);
  ASSERT_EQ(Exchange(WriteRequest(kBootControlAddress, {0x00, 0x80, 0x02, 0x80})).status, kStatusOk);
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_EQ(pen->Mode(), PenMode::MainFirmware);
  EXPECT_EQ(TextOf(NextPacket(*bus->Open())), "Pen ready: firmware 3.18");
}

}  // namespace
}  // namespace virtualpen::testing
