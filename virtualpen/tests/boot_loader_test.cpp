// What the pen comes up in, at plug-in and after every restart, and how it
// greets the host and describes itself there.
#include "pen_test_support.h"

#include "virtualpen/boot_loader.h"

namespace virtualpen::testing {
namespace {

TEST(BootLoader, MainFirmwareOnlyWithTheBootWordItsMagicAndNoButton) {
  const std::uint32_t magic = kBootMagic;
  const struct {
    std::uint32_t word;
    bool mainMagic, dfuMagic, button;
    BootTarget target;
  } cases[] = {
      {kBootMainWord, true, true, false, BootTarget::MainFirmware},
      {kBootMainWord, true, false, false, BootTarget::MainFirmware},
      {kBootMainWord, true, true, true, BootTarget::DfuMode},
      {kBootMainWord, false, true, false, BootTarget::DfuMode},
      {0xFFFFFFFF, true, true, false, BootTarget::DfuMode},
      {kBootMainWord & 0x7FFFFFFF, true, true, false, BootTarget::DfuMode},
      {0xFFFFFFFF, true, false, false, BootTarget::NoFirmware},
  };
  for (const auto& c : cases) {
    FlashMemory flash;
    flash.Load(kBootControlAddress, reinterpret_cast<const std::uint8_t*>(&c.word), 4);
    if (c.mainMagic) flash.Load(kMainRegionStart + kBootMagicOffset, reinterpret_cast<const std::uint8_t*>(&magic), 4);
    if (c.dfuMagic) flash.Load(kDfuRegionStart + kBootMagicOffset, reinterpret_cast<const std::uint8_t*>(&magic), 4);
    EXPECT_EQ(ChooseBootTarget(flash, c.button), c.target) << &c - cases;
  }
}

using PenBoots = PenTest;

// Descriptor: bLength, DEVICE, USB 2.00, vendor class, 64-byte endpoint 0,
// vendor, product, bcdDevice, string indices, one configuration.
TEST_F(PenBoots, GreetsAndDescribesItselfAsTheFirmwareItRuns) {
  PenOptions options;
  options.mainMajor = 12, options.mainMinor = 0x34;
  auto pen = bus->PlugNewPen(options);
  link = bus->Open();
  EXPECT_EQ(TextOf(Next()), "Pen ready: firmware 12.34");
  EXPECT_EQ(pen->QueuedPackets(), 0u);
  EXPECT_EQ(pen->Descriptor(), (DeviceDescriptor{18, 1, 0x00, 0x02, 0xFF, 0, 0, 64, 0x50, 0x1D, 0x04, 0x02, 0x34, 0x0C,
                                                 1, 2, 3, 1}));
  bus->Unplug(pen);
  ASSERT_TRUE(bus->Plug(pen, /*holdFunctionButton=*/true));
  link = bus->Open();
  const Bytes text = Next();
  EXPECT_EQ(TextOf(text), "Pen ready: boot loader");
  EXPECT_EQ(text[2] | text[3], 0);  // packets are numbered from 0 at each boot
  EXPECT_EQ(PacketType(Next()), kPacketDfuMode);
  EXPECT_EQ(pen->Descriptor()[12] | pen->Descriptor()[13], 0);  // the boot loader has no version
}

TEST_F(PenBoots, RestartLeavesTheBusAndComesBackAsTheBootWordSays) {
  auto pen = PlugAndOpen();
  ASSERT_EQ(Status(Erase(kBootControlAddress)), kStatusOk);
  ASSERT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::Ok);  // never taken
  Restart();
  EXPECT_EQ(pen->Mode(), PenMode::Off);
  EXPECT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::NotConnected);
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_EQ(pen->Mode(), PenMode::DfuMode);
  EXPECT_EQ(pen->QueuedPackets(), 2u);  // the greeting only: what was queued died with the restart
  EXPECT_EQ(link->Send(kIdentityRead.data(), kIdentityRead.size()), PenLink::Result::NotConnected);  // one link, one boot
  Reopen(pen);
  ASSERT_EQ(Status(Write(kBootControlAddress, {0x00, 0x80, 0x02, 0x80})), kStatusOk);
  Restart();
  ASSERT_TRUE(bus->WaitUntilIdle(kPatience));
  EXPECT_EQ(pen->Mode(), PenMode::MainFirmware);
  EXPECT_EQ(pen->RestartCount(), 2u);
}

TEST_F(PenBoots, WithoutBootableFirmwareThePenStaysDark) {
  PenOptions options;
  options.startInDfuMode = true;
  auto pen = std::make_shared<VirtualPen>(options);
  pen->LoadFlash(kDfuRegionStart, Bytes(kSectorSize, 0xFF));
  EXPECT_FALSE(bus->Plug(pen));
  EXPECT_EQ(bus->PluggedCount(), 0);
}

}  // namespace
}  // namespace virtualpen::testing
