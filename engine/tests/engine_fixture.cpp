#include "engine/tests/engine_fixture.h"

#include "usb/pen_channel.h"

std::uint32_t WritePenData(HANDLE, const std::uint8_t* data, std::uint32_t count) {
  return EngineTest::current->OnWrite(Bytes(data, data + count));
}
