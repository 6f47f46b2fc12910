#include "tool/tool_state.h"

std::atomic<bool> upgradeRunning{false};
std::atomic<bool> upgradeDone{false};
std::atomic<bool> upgradeFailed{false};
std::atomic<std::int32_t> progressPermille{0};
