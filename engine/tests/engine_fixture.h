#pragma once
// Fixture for the engine's unit tests: an upgrader wired to the scripted channel
// and a FakePen that answers on the sending thread (or from a thread of its own,
// like the receive thread) and restarts when RestartPen is called.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/tests/fake_pen.h"
#include "engine/tests/scripted_channel.h"
#include "firmware/embedded_images.h"

// Opens the steps of Upgrade to the tests.
class StepUpgrader : public FirmwareUpgrader {
 public:
  using FirmwareUpgrader::FirmwareUpgrader;
  using FirmwareUpgrader::CheckIdentityBlock;
  using FirmwareUpgrader::CompareChunk;
  using FirmwareUpgrader::HasBootMagic;
  using FirmwareUpgrader::RestartDevice;
};

inline std::vector<std::uint8_t> EmbeddedDfu() {
  return {EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize};
}
inline std::vector<std::uint8_t> EmbeddedMain() {
  return {EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize};
}

inline HANDLE PenHandle() {
  static int token;
  return &token;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.001);
    scripted::Reset();
    UseImages(EmbeddedDfu(), EmbeddedMain());
    respond = [this](const std::vector<std::uint8_t>& request) { Deliver(pen.Answer(request)); };
    scripted::SetResponder([this](const std::vector<std::uint8_t>& request) { respond(request); });
    scripted::SetRestartAction([this] { OnRestart(); });
  }

  void TearDown() override {
    scripted::Reset();
    deliveries.clear();
    afx::SetTimeScale(1.0);
  }

  void UseImages(const std::vector<std::uint8_t>& dfu, const std::vector<std::uint8_t>& main) {
    deliveries.clear();
    upgrader = std::make_unique<StepUpgrader>(dfu, main);
    upgrader->driverHandle = PenHandle();
  }

  // Hands `payload` over on the sending thread, or from a thread of its own
  // once `fromThread` is set (as the receive thread does).
  void Deliver(std::vector<std::uint8_t> payload) {
    auto deliver = [this, payload = std::move(payload)] {
      upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
    };
    if (!fromThread) return deliver();
    deliveries.push_back(std::async(std::launch::async, deliver));
  }

  // What the receive thread does with a DFU-mode packet.
  void AnnounceDfuMode() {
    CSingleLock lock(&upgrader->upgraderLock, TRUE);
    upgrader->dfuModeSignal.SetEvent();
  }

  void OnRestart() {
    pen.Restart();
    if (!penComesBack) return;
    if (pen.dfuMode && penAnnouncesDfuMode) AnnounceDfuMode();
    upgrader->restartedSignal.SetEvent();
  }

  static std::vector<testpen::Request> Sent() {
    std::vector<testpen::Request> requests;
    for (const auto& sent : scripted::Sent()) requests.push_back(testpen::Decode(sent.bytes));
    return requests;
  }

  // The exception text of `action`, or "" when it returns.
  template <typename Action>
  static std::string FailureOf(Action action) {
    try {
      action();
    } catch (const UpgradeToolException& failure) {
      return failure.Message();
    }
    return "";
  }

  testpen::FakePen pen;
  std::unique_ptr<StepUpgrader> upgrader;
  bool fromThread = false;
  std::vector<std::future<void>> deliveries;  // the sending thread's only
  // How the pen answers one request; tests replace it to drop or alter answers.
  std::function<void(const std::vector<std::uint8_t>&)> respond;
  bool penComesBack = true;
  bool penAnnouncesDfuMode = true;
};
