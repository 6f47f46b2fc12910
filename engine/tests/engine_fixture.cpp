#include "engine/tests/engine_fixture.h"

#include "engine/upgrade_callbacks.h"
#include "firmware/embedded_images.h"
#include "firmware/image_generator.h"
#include "usb/pen_channel.h"

namespace {
EngineTest* current = nullptr;  // how the channel functions reach the running test
}

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  current->OnWrite(handle, Bytes(data, data + count));
  return 0;
}
void RestartPen() { current->OnRestart(); }
void ReportProgress(std::int32_t done, std::int32_t total) { current->progress.emplace_back(done, total); }

Bytes EmbeddedDfu() { return {EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize}; }
Bytes EmbeddedMain() { return {EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize}; }
HANDLE PenHandle() {
  static int token;
  return &token;
}

EngineTest::EngineTest() {
  afx::SetTimeScale(0.001);
  current = this;
  ResetPen();
  m_answering = std::thread([this] {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
      if (m_due.empty() || m_due.begin()->first > Clock::now()) {
        m_due.empty() ? m_wake.wait(lock) : static_cast<void>(m_wake.wait_until(lock, m_due.begin()->first));
        continue;
      }
      auto action = std::move(m_due.begin()->second);
      m_due.erase(m_due.begin());
      m_acting = true;
      lock.unlock();
      action();
      lock.lock();
      m_acting = false;
      m_wake.notify_all();
    }
  });
}

EngineTest::~EngineTest() {
  {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_stopping = true;
  }
  m_wake.notify_all();
  m_answering.join();
  afx::SetTimeScale(1.0);
}

void EngineTest::UsePenTime(PenTime time) {
  penTime = time;
  afx::SetTimeScale(time == PenTime::Zero ? 0.001 : 0.05);
  restartMs = time == PenTime::Zero ? 0 : 1000;
}

void EngineTest::ResetPen() {
  StopAnswering();
  flash = virtualpen::FlashMemory();
  const Bytes bootMain = {0x00, 0x80, 0x02, 0x80};
  Bytes dfu = firmware::GenerateDfuImage();
  dfu[7 * 1024 + 100] ^= 0xFF;
  const Bytes main = firmware::GenerateMainImage(3, 0x10);
  flash.Load(0x4000, virtualpen::kValidIdentityBlock.data(), virtualpen::kValidIdentityBlock.size());
  flash.Load(0x7000, bootMain.data(), bootMain.size());
  flash.Load(0x8000, dfu.data(), dfu.size());
  flash.Load(0x28000, main.data(), main.size());
  dfuMode = false;
  lastReturn = INT_MAX;
  announces = true;
  respond = [this](const Bytes& request) { Deliver(Execute(request)); };
  sent.clear();
  progress.clear();
  restartsAfter.clear();
  UseImages(EmbeddedDfu(), EmbeddedMain());
}

void EngineTest::UseImages(const Bytes& dfu, const Bytes& main) {
  upgrader = std::make_unique<StepUpgrader>(dfu, main);
  upgrader->driverHandle = PenHandle();
}

virtualpen::FlashResponse EngineTest::Execute(const Bytes& request) {
  const auto running = dfuMode ? virtualpen::RunningFirmware::Dfu : virtualpen::RunningFirmware::Main;
  return virtualpen::ExecuteFlashRequest(flash, running, request.data(), request.size());
}

void EngineTest::Deliver(const virtualpen::FlashResponse& response, std::uint32_t extraMs) {
  const bool zero = penTime == PenTime::Zero;
  DeliverPayload(virtualpen::EncodeFlashResponse(response),
                 (zero ? 0 : virtualpen::BusyMilliseconds(virtualpen::kRealisticTiming, response)) + extraMs);
}

void EngineTest::DeliverPayload(Bytes payload, std::uint64_t afterMs) {
  After(afterMs, [this, payload = std::move(payload)] {
    upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
  });
}

void EngineTest::AnnounceDfuMode() {
  CSingleLock lock(&upgrader->upgraderLock, TRUE);
  upgrader->dfuModeSignal.SetEvent();
}

void EngineTest::After(std::uint64_t ms, std::function<void()> action) {
  if (ms == 0) return action();
  std::lock_guard<std::mutex> lock(m_mutex);
  m_due.emplace(Clock::now() + afx::Scaled(static_cast<std::uint32_t>(ms)), std::move(action));
  m_wake.notify_all();
}

void EngineTest::StopAnswering() {
  std::unique_lock<std::mutex> lock(m_mutex);
  m_due.clear();
  m_wake.wait(lock, [this] { return !m_acting; });
}

void EngineTest::OnWrite(HANDLE handle, const Bytes& request) {
  sent.push_back({handle, request});
  respond(request);
}

// Boots as the pen's boot loader decides; comes back and announces DFU mode as told.
void EngineTest::OnRestart() {
  restartsAfter.push_back(sent.size());
  dfuMode = virtualpen::ChooseBootTarget(flash, false) == virtualpen::BootTarget::DfuMode;
  if (static_cast<int>(restartsAfter.size()) > lastReturn) return;
  After(restartMs, [this] { upgrader->restartedSignal.SetEvent(); });
  if (dfuMode && announces) After(restartMs + announceMs, [this] { AnnounceDfuMode(); });
}
