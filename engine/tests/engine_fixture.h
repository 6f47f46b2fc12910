#pragma once
// Fixture for the engine's unit tests: an upgrader wired to the scripted channel
// and a FakePen that answers on the sending thread (or from a thread of its own,
// like the receive thread) and restarts when RestartPen is called.
#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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

// Hands responses to the upgrader from its own thread, in order.
class DeliveryThread {
 public:
  explicit DeliveryThread(FirmwareUpgrader& upgrader) : m_upgrader(upgrader), m_thread([this] { Run(); }) {}
  ~DeliveryThread() {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_stop = true;
    }
    m_changed.notify_one();
    m_thread.join();
  }
  void Push(std::vector<std::uint8_t> payload) {
    {
      std::lock_guard<std::mutex> guard(m_mutex);
      m_queue.push_back(std::move(payload));
    }
    m_changed.notify_one();
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
      m_changed.wait(lock, [this] { return m_stop || !m_queue.empty(); });
      if (m_queue.empty()) return;
      auto payload = std::move(m_queue.front());
      m_queue.pop_front();
      lock.unlock();
      m_upgrader.DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
      lock.lock();
    }
  }

  FirmwareUpgrader& m_upgrader;
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<std::vector<std::uint8_t>> m_queue;
  bool m_stop = false;
  std::thread m_thread;
};

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
    delivery.reset();
    afx::SetTimeScale(1.0);
  }

  void UseImages(const std::vector<std::uint8_t>& dfu, const std::vector<std::uint8_t>& main) {
    delivery.reset();
    upgrader = std::make_unique<StepUpgrader>(dfu, main);
    upgrader->driverHandle = PenHandle();
  }

  // From now on responses come from a thread of their own.
  void DeliverFromThread() { delivery = std::make_unique<DeliveryThread>(*upgrader); }

  void Deliver(const std::vector<std::uint8_t>& payload) {
    if (delivery) {
      delivery->Push(payload);
    } else {
      upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
    }
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
  std::unique_ptr<DeliveryThread> delivery;
  // How the pen answers one request; tests replace it to drop or alter answers.
  std::function<void(const std::vector<std::uint8_t>&)> respond;
  bool penComesBack = true;
  bool penAnnouncesDfuMode = true;
};
