#pragma once
// The engine's unit tests: one upgrader over a scripted channel (the fixture
// defines and records WritePenData, and is the upgrader's host), answered by a
// pen made of the virtual pen's own flash, protocol, boot loader and timing. With
// zero pen time an answer comes on the sending thread, before the upgrader waits;
// with realistic pen time it comes from the answering thread once the pen would
// have it ready, as the receive thread brings it.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "firmware/embedded_images.h"
#include "firmware/image_generator.h"
#include "virtualpen/boot_loader.h"
#include "virtualpen/virtual_pen.h"

using Bytes = std::vector<std::uint8_t>;

class StepUpgrader : public FirmwareUpgrader {  // opens the steps of Upgrade to the tests
 public:
  using FirmwareUpgrader::FirmwareUpgrader;
  using FirmwareUpgrader::CompareChunk;
  using FirmwareUpgrader::EnterDfuMode;
  using FirmwareUpgrader::HasBootMagic;
  using FirmwareUpgrader::RestartDevice;
  using FirmwareUpgrader::BeginRun;
};

struct SentRequest {
  Bytes bytes;
  std::uint8_t Command() const { return bytes[1]; }
  std::uint32_t Address() const { return bytes[2] | bytes[3] << 8 | bytes[4] << 16 | std::uint32_t{bytes[5]} << 24; }
  std::uint32_t Size() const { return bytes[6] | bytes[7] << 8; }
};

enum class PenTime { Zero, Realistic };

inline Bytes EmbeddedDfu() { return {EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize}; }
inline Bytes EmbeddedMain() { return {EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize}; }
inline HANDLE PenHandle() {
  static int token;
  return &token;
}

// The exception text of `action`, or "" when it returns.
template <typename Action>
std::string FailureOf(Action action) {
  try {
    action();
  } catch (const UpgradeToolException& failure) {
    return failure.Message();
  }
  return "";
}

class EngineTest : public ::testing::Test, public UpgradeHost {
 public:
  EngineTest() {
    afx::SetTimeScale(0.001);
    current = this;
    ResetPen();
    m_answering = std::thread([this] { Answer(); });
  }
  ~EngineTest() override {
    {
      std::lock_guard<std::mutex> lock(m_mutex);
      m_stopping = true;
    }
    m_wake.notify_all();
    m_answering.join();
    afx::SetTimeScale(1.0);
  }
  static inline EngineTest* current = nullptr;  // how the channel functions reach the running test

  // Realistic: the virtual pen's time per request and a 1 s restart, at a scale
  // that leaves the answering thread 100 ms of a 2 s attempt.
  void UsePenTime(PenTime time) {
    penTime = time;
    afx::SetTimeScale(time == PenTime::Zero ? 0.001 : 0.05);
    restartMs = time == PenTime::Zero ? 0 : 1000;
  }

  // A 3.10 pen whose DFU region differs from the shipped image at one byte,
  // answering every request; a fresh upgrader; nothing recorded.
  void ResetPen() {
    StopAnswering();
    flash = virtualpen::FlashMemory();
    Bytes dfu = firmware::GenerateDfuImage();
    dfu[7 * 1024 + 100] ^= 0xFF;
    Load(0x4000, Bytes(virtualpen::kValidIdentityBlock.begin(), virtualpen::kValidIdentityBlock.end()));
    Load(0x7000, {0x00, 0x80, 0x02, 0x80});
    Load(0x8000, dfu);
    Load(0x28000, firmware::GenerateMainImage(3, 0x10));
    dfuMode = false;
    respond = [this](const Bytes& request) { Deliver(Execute(request)); };
    sent.clear(), progress.clear(), restartsAfter.clear(), sendResults.clear();
    m_answerOnItsWay = 0;
    upgrader = std::make_unique<StepUpgrader>(EmbeddedDfu(), EmbeddedMain());
    upgrader->GivePen(PenHandle());
  }
  void Load(std::uint32_t address, const Bytes& bytes) { flash.Load(address, bytes.data(), bytes.size()); }

  // Carries a request out on the pen's flash, as its running firmware allows.
  virtualpen::FlashResponse Execute(const Bytes& request) {
    const auto running = dfuMode ? virtualpen::RunningFirmware::Dfu : virtualpen::RunningFirmware::Main;
    return virtualpen::ExecuteFlashRequest(flash, running, request.data(), request.size());
  }
  // Hands a response over after the pen's time for it and `extraMs` more.
  void Deliver(const virtualpen::FlashResponse& response, std::uint32_t extraMs = 0) {
    const std::uint64_t penMs =
        penTime == PenTime::Zero ? 0 : virtualpen::BusyMilliseconds(virtualpen::kRealisticTiming, response);
    DeliverPayload(virtualpen::EncodeFlashResponse(response), penMs + extraMs);
  }
  void DeliverPayload(Bytes payload, std::uint64_t afterMs = 0) {
    const std::uint64_t answer = afterMs > 0 ? ++m_answers : 0;
    m_answerOnItsWay = answer;
    After(afterMs, [this, answer, payload = std::move(payload)] {
      upgrader->DeliverResponse(payload.data(), static_cast<std::uint32_t>(payload.size()));
      std::uint64_t delivered = answer;
      m_answerOnItsWay.compare_exchange_strong(delivered, 0);
    });
  }
  void AnnounceDfuMode() { upgrader->DfuModeAnnounced(); }  // as the receive thread does

  // The upgrader's host.
  void RestartPen() override { OnRestart(); }
  void ReportProgress(std::int32_t done, std::int32_t total) override { progress.emplace_back(done, total); }
  void RejectRestartedPen() override {}
  void RunUpgrade() { upgrader->Upgrade(*this); }

  std::uint32_t OnWrite(const Bytes& request) {
    // With realistic pen time a busy machine can hold the answering thread up past
    // a whole attempt, and the upgrader then rightly sends the request again. The
    // pen would have answered in time: its answer, still on its way, answers the
    // resend, which is neither answered twice nor kept in `sent` (the sequence the
    // upgrade asked of the pen). With zero pen time, which every such test runs as
    // well, each answer is there before the upgrader waits.
    if (penTime == PenTime::Realistic && m_answerOnItsWay != 0 && !sent.empty() && sent.back().bytes == request) {
      return 0;
    }
    m_answerOnItsWay = 0;
    sent.push_back({request});
    respond(request);
    const auto named = sendResults.find(sent.size());
    return named == sendResults.end() ? 0 : named->second;
  }
  // Boots as the pen's boot loader decides; comes back and announces DFU mode as told.
  void OnRestart() {
    restartsAfter.push_back(sent.size());
    dfuMode = virtualpen::ChooseBootTarget(flash, false) == virtualpen::BootTarget::DfuMode;
    After(restartMs, [this] { upgrader->PenBack(PenHandle(), true); });
    if (dfuMode) After(restartMs + announceMs, [this] { AnnounceDfuMode(); });
  }

  // Runs `action` after `ms` of product time: at once when that is 0, otherwise
  // on the answering thread.
  void After(std::uint64_t ms, std::function<void()> action) {
    if (ms == 0) return action();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_due.emplace(Clock::now() + afx::Scaled(static_cast<std::uint32_t>(ms)), std::move(action));
    m_wake.notify_all();
  }
  // Drops what the answering thread has still to do and waits for what it does.
  void StopAnswering() {
    std::unique_lock<std::mutex> lock(m_mutex);
    m_due.clear();
    m_wake.wait(lock, [this] { return !m_acting; });
  }

  virtualpen::FlashMemory flash;
  bool dfuMode = false;
  PenTime penTime = PenTime::Zero;
  std::uint32_t restartMs = 0;   // until the pen is back
  std::uint32_t announceMs = 0;  // from then until it announces DFU mode
  std::function<void(const Bytes&)> respond;  // tests replace it to drop, delay or alter answers
  // What the channel returns for the Nth send (from 1), else 0; the pen answers as `respond` says all the same.
  std::map<std::size_t, std::uint32_t> sendResults;

  std::unique_ptr<StepUpgrader> upgrader;
  std::vector<SentRequest> sent;
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
  std::vector<std::size_t> restartsAfter;  // requests sent before each restart

 private:
  using Clock = std::chrono::steady_clock;
  void Answer() {
    std::unique_lock<std::mutex> lock(m_mutex);
    while (!m_stopping) {
      if (m_due.empty()) {
        m_wake.wait(lock);
        continue;
      }
      const Clock::time_point due = m_due.begin()->first;  // a copy: the entry may go while we wait
      if (due > Clock::now()) {
        m_wake.wait_until(lock, due);
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
  }

  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::multimap<Clock::time_point, std::function<void()>> m_due;
  bool m_stopping = false;
  bool m_acting = false;
  std::uint64_t m_answers = 0;                      // answers sent on their way so far
  std::atomic<std::uint64_t> m_answerOnItsWay{0};  // the last request's, until it is delivered
  std::thread m_answering;
};

class TimedEngineTest : public EngineTest, public ::testing::WithParamInterface<PenTime> {
 protected:
  void SetUp() override { UsePenTime(GetParam()); }
};
