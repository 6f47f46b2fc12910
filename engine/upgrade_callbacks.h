#pragma once
// The two routines the upgrader calls out to. Upgrade installs RestartPen and
// ReportProgress by name; whoever links the engine defines them: the tool's
// device watch (RestartPen) and upgrade thread (ReportProgress), or the engine's
// own unit tests.
#include <cstdint>

using RestartCallback = void (*)();
using ProgressCallback = void (*)(std::int32_t done, std::int32_t total);

// Sends the restart byte and lets go of the pen (receive thread stopped, pen
// closed); returns without waiting for the pen's return. Upgrade thread.
void RestartPen();

// Stores done * 1000 / total, clamped to 0..1000, for the dialog. Upgrade thread.
void ReportProgress(std::int32_t done, std::int32_t total);
