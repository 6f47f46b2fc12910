#pragma once
// Test-only stand-ins for what the final program links around the engine: the
// channel's WritePenData, and the device watch's RestartPen and ReportProgress.
// Every request and every call is recorded; the test decides how the "pen"
// answers, on the sending thread or from one of its own.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "afx/win_types.h"

namespace scripted {

struct SentRequest {
  HANDLE handle;
  std::vector<std::uint8_t> bytes;
};

using Responder = std::function<void(const std::vector<std::uint8_t>& request)>;

void Reset();
// Called on the sending thread for each WritePenData, after it is recorded.
void SetResponder(Responder responder);
// Called by RestartPen, on the upgrade thread.
void SetRestartAction(std::function<void()> action);

std::vector<SentRequest> Sent();
std::vector<std::pair<std::int32_t, std::int32_t>> ProgressCalls();
int RestartCount();

}  // namespace scripted
