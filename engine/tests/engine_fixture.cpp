#include "engine/tests/engine_fixture.h"

#include "engine/upgrade_callbacks.h"
#include "usb/pen_channel.h"

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  return EngineTest::current->OnWrite(handle, Bytes(data, data + count));
}

void RestartPen() { EngineTest::current->OnRestart(); }

void ReportProgress(std::int32_t done, std::int32_t total) { EngineTest::current->progress.emplace_back(done, total); }
