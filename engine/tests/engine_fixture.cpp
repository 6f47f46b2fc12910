#include "engine/tests/engine_fixture.h"

#include "usb/pen_channel.h"

std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  return EngineTest::current->OnWrite(handle, Bytes(data, data + count));
}
