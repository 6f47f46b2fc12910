#pragma once
// The two routines the upgrader calls out to. Upgrade installs RestartPen and
// ReportProgress by name; whoever links the engine defines them: the tool's
// device watch in the shipped program, a small harness in tests and demos.
#include <cstdint>

using RestartCallback = void (*)();
using ProgressCallback = void (*)(std::int32_t done, std::int32_t total);

// Sends the restart byte, stops the receive thread and closes the pen; returns
// without waiting for the pen. Upgrade thread.
void RestartPen();

// Stores done * 1000 / total, clamped to 0..1000, for the dialog. Upgrade thread.
void ReportProgress(std::int32_t done, std::int32_t total);
