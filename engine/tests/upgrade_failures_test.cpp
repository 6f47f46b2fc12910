// Every way Upgrade fails, with its text, and the state it leaves the pen in.
#include "engine/tests/engine_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

bool InRegion(std::uint32_t address, std::uint32_t start, std::uint32_t end) {
  return address >= start && address < end;
}

class UpgradeFailures : public EngineTest {
 protected:
  Bytes BootWord() const { return pen.Read(0x7000, 4); }
  static Bytes WithoutBootMagic(Bytes image) {
    image[20] = 0;
    return image;
  }
};

// A region that does not take its write, or an image without boot magic, is
// never booted into: before the DFU restart the old main firmware still boots,
// after it the pen is left in DFU mode.
TEST_F(UpgradeFailures, UnverifiedRegionsAreNeverBootedInto) {
  const Bytes oldMain = {0x00, 0x80, 0x02, 0x80};
  const Bytes dfuMode(4, 0xFF);
  const struct {
    std::function<bool(std::uint32_t)> losesWrite;
    bool dfuMagic, mainMagic;
    const char* failure;
    const Bytes& bootWord;
    int restarts;
  } cases[] = {
      {[](std::uint32_t a) { return InRegion(a, 0x8000, 0x28000); }, true, true,
       "DFU firmware was not written correctly", oldMain, 0},
      {[](std::uint32_t a) { return a == 0x28000 + 100 * 1024; }, true, true, "Main firmware was not written correctly",
       dfuMode, 1},
      {nullptr, false, true, "Boot magic for DFU firmware not found in device", oldMain, 0},
      {nullptr, true, false, "Boot magic for main firmware not found in device", dfuMode, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.failure);
    TearDown();
    pen = testpen::FakePen();
    SetUp();
    pen.losesWrite = c.losesWrite;
    UseImages(c.dfuMagic ? EmbeddedDfu() : WithoutBootMagic(EmbeddedDfu()),
              c.mainMagic ? EmbeddedMain() : WithoutBootMagic(EmbeddedMain()));
    EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), c.failure);
    EXPECT_EQ(BootWord(), c.bootWord);
    EXPECT_EQ(scripted::RestartCount(), c.restarts);
  }
}

TEST_F(UpgradeFailures, PenNotBackInDfuModeAfterTheRestart) {
  penAnnouncesDfuMode = false;
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Device did not restart in DFU mode");
  penComesBack = false;
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Device did not restart");
  EXPECT_EQ(scripted::RestartCount(), 2);
}

TEST_F(UpgradeFailures, PenNeverBackAfterTheFinalRestart) {
  int restarts = 0;
  scripted::SetRestartAction([&] {
    if (++restarts == 1) OnRestart();
  });
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Device did not restart");
  EXPECT_EQ(BootWord(), (Bytes{0x00, 0x80, 0x02, 0x80}));
}

TEST_F(UpgradeFailures, RestartWithoutARestartFunction) {
  upgrader->restartCallback = nullptr;
  upgrader->restartedSignal.SetEvent();  // a stale signal must not pass for a restart either
  EXPECT_EQ(FailureOf([&] { upgrader->RestartDevice(); }), "No restart function defined");
  EXPECT_FALSE(upgrader->restartedSignal.Lock(0));
}

TEST_F(UpgradeFailures, PenUnpluggedMidWrite) {
  int writes = 0;
  respond = [&](const Bytes& request) {
    if (request[1] == FA_CMD_FLASH_WRITE && ++writes == 40) {
      upgrader->driverHandle = nullptr;  // the device watch closed the vanished pen
      return;
    }
    Deliver(pen.Answer(request));
  };
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "No handle to USB driver");
  EXPECT_EQ(scripted::Sent().back().bytes[1], FA_CMD_FLASH_WRITE);
}

// A run that failed after the restart into DFU mode is finished by the next
// run, once the pen has announced DFU mode again (for example after replugging).
TEST_F(UpgradeFailures, RunAfterAFailureInDfuModeFinishesTheUpgrade) {
  pen.losesWrite = [](std::uint32_t address) { return address == 0x28000; };
  EXPECT_EQ(FailureOf([&] { upgrader->Upgrade(); }), "Main firmware was not written correctly");
  ASSERT_EQ(BootWord(), Bytes(4, 0xFF));

  pen.losesWrite = nullptr;
  pen.Restart();
  AnnounceDfuMode();
  scripted::Reset();
  scripted::SetResponder([this](const Bytes& request) { respond(request); });
  scripted::SetRestartAction([this] { OnRestart(); });
  upgrader->Upgrade();

  EXPECT_EQ(scripted::RestartCount(), 1);
  EXPECT_EQ(scripted::ProgressCalls()[1], std::make_pair(0, 687756));
  EXPECT_EQ(pen.Read(0x28000, 227308), EmbeddedMain());
  EXPECT_EQ(BootWord(), (Bytes{0x00, 0x80, 0x02, 0x80}));
}

}  // namespace
