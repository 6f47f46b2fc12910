#pragma once
// The engine's unit tests: one upgrader over a scripted channel (the fixture
// defines and records WritePenData, RestartPen and ReportProgress), answered by a
// pen made of the virtual pen's own flash, protocol, boot loader and timing. With
// zero pen time an answer comes on the sending thread, before the upgrader waits;
// with realistic pen time it comes from the answering thread once the pen would
// have it ready, as the receive thread brings it.
#include <gtest/gtest.h>

#include <chrono>
#include <climits>
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
#include "virtualpen/boot_loader.h"
#include "virtualpen/virtual_pen.h"

using Bytes = std::vector<std::uint8_t>;

class StepUpgrader : public FirmwareUpgrader {  // opens the steps of Upgrade to the tests
 public:
  using FirmwareUpgrader::FirmwareUpgrader;
  using FirmwareUpgrader::CheckIdentityBlock;
  using FirmwareUpgrader::CompareChunk;
  using FirmwareUpgrader::EnterDfuMode;
  using FirmwareUpgrader::HasBootMagic;
  using FirmwareUpgrader::RestartDevice;
};

struct SentRequest {
  HANDLE handle;
  Bytes bytes;
  std::uint8_t Command() const { return bytes[1]; }
  std::uint32_t Address() const { return bytes[2] | bytes[3] << 8 | bytes[4] << 16 | std::uint32_t{bytes[5]} << 24; }
  std::uint32_t Size() const { return bytes[6] | bytes[7] << 8; }
};

enum class PenTime { Zero, Realistic };

Bytes EmbeddedDfu();
Bytes EmbeddedMain();
HANDLE PenHandle();

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

class EngineTest : public ::testing::Test {
 public:
  EngineTest();
  ~EngineTest() override;
  void OnWrite(HANDLE handle, const Bytes& request);
  void OnRestart();

  // Realistic: the virtual pen's time per request and a 1 s restart, at a scale
  // that leaves the answering thread 100 ms of a 2 s attempt.
  void UsePenTime(PenTime time);
  // A 3.10 pen whose DFU region differs from the shipped image at one byte, a
  // fresh upgrader, nothing recorded.
  void ResetPen();
  void UseImages(const Bytes& dfu, const Bytes& main);
  // Carries a request out on the pen's flash, as its running firmware allows.
  virtualpen::FlashResponse Execute(const Bytes& request);
  // Hands a response over after the pen's time for it and `extraMs` more.
  void Deliver(const virtualpen::FlashResponse& response, std::uint32_t extraMs = 0);
  void DeliverPayload(Bytes payload, std::uint64_t afterMs = 0);
  void AnnounceDfuMode();  // as the receive thread does with a DFU-mode packet
  // Runs `action` after `ms` of product time: at once when that is 0, otherwise
  // on the answering thread.
  void After(std::uint64_t ms, std::function<void()> action);
  // Drops what the answering thread has still to do and waits for what it does.
  void StopAnswering();

  virtualpen::FlashMemory flash;
  bool dfuMode = false;
  PenTime penTime = PenTime::Zero;
  std::uint32_t restartMs = 0;   // until the pen is back
  std::uint32_t announceMs = 0;  // from then until it announces DFU mode
  int lastReturn = INT_MAX;      // the last restart it comes back from
  bool announces = true;
  std::function<void(const Bytes&)> respond;  // tests replace it to drop, delay or alter answers

  std::unique_ptr<StepUpgrader> upgrader;
  std::vector<SentRequest> sent;
  std::vector<std::pair<std::int32_t, std::int32_t>> progress;
  std::vector<std::size_t> restartsAfter;  // requests sent before each restart

 private:
  using Clock = std::chrono::steady_clock;
  std::mutex m_mutex;
  std::condition_variable m_wake;
  std::multimap<Clock::time_point, std::function<void()>> m_due;
  bool m_stopping = false;
  bool m_acting = false;
  std::thread m_answering;
};

class TimedEngineTest : public EngineTest, public ::testing::WithParamInterface<PenTime> {
 protected:
  void SetUp() override { UsePenTime(GetParam()); }
};
