// Whole upgrades of a virtual pen through the virtual channel, with the device
// watch played by the shared harness: the paths that succeed, and the pen
// misbehaving on the way.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/testing/device_watch_harness.h"
#include "firmware/embedded_images.h"
#include "virtualpen/virtual_bus.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using virtualpen::PenOptions;
using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;
using virtualpen::VirtualBus;
using virtualpen::VirtualPen;

// Requests of an upgrade whose DFU region differs at chunk 7, up to the restart
// into DFU mode: identity, 8 compared chunks, 32 erases and 34 writes, 34
// verified chunks, the DFU header and the boot-control erase.
constexpr std::uint32_t kRequestsBeforeDfuRestart = 1 + 8 + 32 + 34 + 34 + 1 + 1;

class VirtualPenUpgrade : public ::testing::Test {
 protected:
  void SetUp() override { VirtualBus::ResetInstance(); }

  void TearDown() override {
    harness.reset();
    VirtualBus::ResetInstance();
    afx::SetTimeScale(1.0);
  }

  std::shared_ptr<VirtualPen> PlugPen(PenOptions options = {}) {
    options.restartDelayMs = 50;
    auto pen = VirtualBus::Instance()->PlugNewPen(options);
    identityBefore = pen->ReadFlash(0x0000, 0x7000);
    return pen;
  }

  void StartWatching() {
    harness = std::make_unique<DeviceWatchHarness>(upgrader);
    ASSERT_TRUE(harness->IsOpen());
  }

  std::string Upgrade() {
    try {
      upgrader.Upgrade();
    } catch (const UpgradeToolException& failure) {
      return failure.Message();
    }
    return "";
  }

  // A pen that boots into DFU mode announces it at once; the upgrade must not
  // start before the receive loop has passed that on.
  bool WaitForDfuAnnouncement() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
      {
        CSingleLock lock(&upgrader.upgraderLock, TRUE);
        if (upgrader.dfuModeSignal.Lock(0)) {
          upgrader.dfuModeSignal.SetEvent();
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  void ExpectUpgraded(const VirtualPen& pen) {
    EXPECT_EQ(pen.ReadFlash(0x8000, EmbeddedDfuImageSize),
              Bytes(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize));
    EXPECT_EQ(pen.ReadFlash(0x28000, EmbeddedMainImageSize),
              Bytes(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize));
    EXPECT_EQ(pen.ReadFlash(0x7000, 4), (Bytes{0x00, 0x80, 0x02, 0x80}));
    EXPECT_EQ(pen.ReadFlash(0x0000, 0x7000), identityBefore);
    EXPECT_EQ(pen.Mode(), virtualpen::PenMode::MainFirmware);
    const auto descriptor = pen.Descriptor();
    EXPECT_EQ(descriptor[12] | descriptor[13] << 8, 0x0318);
    EXPECT_EQ(harness->ProgressPermille(), 1000);
    EXPECT_FALSE(harness->ProgressWentBack());
  }

  FirmwareUpgrader upgrader;
  std::unique_ptr<DeviceWatchHarness> harness;
  Bytes identityBefore;  // everything below the boot-control sector
};

TEST_F(VirtualPenUpgrade, OlderPenWithDifferingDfuRegionIsFullyUpgraded) {
  auto pen = PlugPen();
  StartWatching();
  ASSERT_EQ(Upgrade(), "");
  ExpectUpgraded(*pen);
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_EQ(harness->Openings(), 3);
}

TEST_F(VirtualPenUpgrade, PenAlreadyInDfuModeIsUpgradedWithOneRestart) {
  PenOptions options;
  options.startInDfuMode = true;  // as a run that failed after the DFU restart leaves it
  options.differingDfuChunk = virtualpen::kIdenticalDfu;
  auto pen = PlugPen(options);
  StartWatching();
  ASSERT_TRUE(WaitForDfuAnnouncement());
  ASSERT_EQ(Upgrade(), "");
  EXPECT_EQ(pen->RestartCount(), 1u);
  ExpectUpgraded(*pen);
}

TEST_F(VirtualPenUpgrade, LostResponseIsRecoveredByTheNextAttempt) {
  afx::SetTimeScale(0.25);  // the lost attempt costs 500 ms; no answered one comes close
  auto pen = PlugPen();
  pen->AddFault(RequestFault{RequestFaultKind::DropResponse, 20, 1, 0});
  StartWatching();
  ASSERT_EQ(Upgrade(), "");
  ExpectUpgraded(*pen);
}

TEST_F(VirtualPenUpgrade, SilentPenFailsBeforeAnythingIsWritten) {
  afx::SetTimeScale(0.01);
  auto pen = PlugPen();
  pen->AddFault(RequestFault{RequestFaultKind::DropResponse, 1, 100, 0});
  const Bytes flashBefore = pen->ReadFlash(0, 0x80000);
  StartWatching();
  EXPECT_EQ(Upgrade(), "No response to flash read command");
  EXPECT_EQ(pen->RequestCount(), 3u);
  EXPECT_EQ(pen->ReadFlash(0, 0x80000), flashBefore);
}

TEST_F(VirtualPenUpgrade, PenGoneMidWriteIsLeftInDfuModeAndFinishedAfterReplugging) {
  afx::SetTimeScale(0.1);
  auto pen = PlugPen();
  pen->AddFault(RequestFault{RequestFaultKind::UnplugAtRequest, kRequestsBeforeDfuRestart + 60, 1, 0});
  StartWatching();
  EXPECT_EQ(Upgrade(), "No handle to USB driver");
  ASSERT_TRUE(VirtualBus::Instance()->WaitUntilIdle());
  EXPECT_FALSE(harness->IsOpen());
  EXPECT_EQ(pen->ReadFlash(0x7000, 4), Bytes(4, 0xFF));  // boots into DFU mode, not a half-written image

  ASSERT_TRUE(VirtualBus::Instance()->Plug(pen));
  ASSERT_TRUE(WaitForDfuAnnouncement());
  ASSERT_TRUE(harness->IsOpen());
  afx::SetTimeScale(1.0);
  ASSERT_EQ(Upgrade(), "");
  ExpectUpgraded(*pen);
}

// A pen that does not come back as itself in DFU mode fails within the limit.
struct RestartCase {
  RestartFaultKind kind;
  std::uint16_t productId;
  const char* failure;
  bool onBus, open;
};
class VirtualPenRestartFaults : public VirtualPenUpgrade, public ::testing::WithParamInterface<RestartCase> {};

TEST_P(VirtualPenRestartFaults, FailWithinTheLimit) {
  afx::SetTimeScale(0.05);
  auto pen = PlugPen();
  pen->AddFault(RestartFault{GetParam().kind, 1, GetParam().productId});
  StartWatching();
  EXPECT_EQ(Upgrade(), GetParam().failure);
  EXPECT_EQ(pen->IsOnBus(), GetParam().onBus);
  EXPECT_EQ(harness->IsOpen(), GetParam().open);
}

INSTANTIATE_TEST_SUITE_P(Kinds, VirtualPenRestartFaults,
                         ::testing::Values(RestartCase{RestartFaultKind::NeverReturn, 0, "Device did not restart", false, false},
                                           RestartCase{RestartFaultKind::NoDfuAnnouncement, 0,
                                                       "Device did not restart in DFU mode", true, true},
                                           // back as another product
                                           RestartCase{RestartFaultKind::ForeignProduct, 0x0205,
                                                       "Device did not restart", true, false}));

}  // namespace
