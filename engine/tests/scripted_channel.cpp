#include "engine/tests/scripted_channel.h"

#include <mutex>

#include "engine/upgrade_callbacks.h"
#include "usb/pen_channel.h"

namespace scripted {
namespace {

std::mutex mutex;
std::vector<SentRequest> sent;
std::vector<std::pair<std::int32_t, std::int32_t>> progressCalls;
int restarts = 0;
Responder responder;
std::function<void()> restartAction;

}  // namespace

void Reset() {
  std::lock_guard<std::mutex> guard(mutex);
  sent.clear();
  progressCalls.clear();
  restarts = 0;
  responder = nullptr;
  restartAction = nullptr;
}

void SetResponder(Responder newResponder) {
  std::lock_guard<std::mutex> guard(mutex);
  responder = std::move(newResponder);
}

void SetRestartAction(std::function<void()> action) {
  std::lock_guard<std::mutex> guard(mutex);
  restartAction = std::move(action);
}

std::vector<SentRequest> Sent() {
  std::lock_guard<std::mutex> guard(mutex);
  return sent;
}

std::vector<std::pair<std::int32_t, std::int32_t>> ProgressCalls() {
  std::lock_guard<std::mutex> guard(mutex);
  return progressCalls;
}

int RestartCount() {
  std::lock_guard<std::mutex> guard(mutex);
  return restarts;
}

}  // namespace scripted

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  std::vector<std::uint8_t> request(data, data + count);
  scripted::Responder answer;
  {
    std::lock_guard<std::mutex> guard(scripted::mutex);
    scripted::sent.push_back({handle, request});
    answer = scripted::responder;
  }
  if (answer) answer(request);  // outside the lock: it may deliver a response at once
  return 0;
}

void RestartPen() {
  std::function<void()> action;
  {
    std::lock_guard<std::mutex> guard(scripted::mutex);
    ++scripted::restarts;
    action = scripted::restartAction;
  }
  if (action) action();
}

void ReportProgress(std::int32_t done, std::int32_t total) {
  std::lock_guard<std::mutex> guard(scripted::mutex);
  scripted::progressCalls.emplace_back(done, total);
}
