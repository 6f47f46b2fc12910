// A request the system refuses at once returns the system's own error, and only
// after the final wait for the request's event. An overlapped file stands for a
// device that refuses the pen's control codes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "afx/time_scale.h"
#include "usb/pen_channel.h"

namespace {

// What the system itself answers to one control request on `handle`.
DWORD SystemAnswer(HANDLE handle, DWORD code, DWORD inputSize, DWORD outputSize) {
  std::uint8_t buffer[DEVICE_DESCRIPTOR_SIZE] = {};
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD transferred = 0;
  DWORD error = ERROR_SUCCESS;
  if (!DeviceIoControl(handle, code, buffer, inputSize, buffer, outputSize, &transferred, &overlapped)) {
    error = GetLastError();
    if (error == ERROR_IO_PENDING) error = GetOverlappedResult(handle, &overlapped, &transferred, TRUE) ? 0 : GetLastError();
  }
  CloseHandle(overlapped.hEvent);
  return error;
}

TEST(RefusedRequest, ReturnsTheSystemsErrorAfterTheFinalWait) {
  constexpr double kScale = 0.02;  // the 1 s final wait becomes 20 ms
  afx::SetTimeScale(kScale);
  char directory[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, directory);
  GetTempFileNameA(directory, "pen", 0, path);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_FLAG_OVERLAPPED | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  penHandle = file;

  const std::uint8_t data[] = {0x10, 0x20};
  std::uint8_t descriptor[DEVICE_DESCRIPTOR_SIZE];
  const struct {
    const char* name;
    std::function<std::uint32_t()> call;
    DWORD expected;
  } requests[] = {
      {"descriptor", [&] { return ReadDeviceDescriptor(descriptor); },
       SystemAnswer(file, IOCTL_PEN_GET_DEVICE_DESCRIPTOR, 0, DEVICE_DESCRIPTOR_SIZE)},
      {"restart", [&] { return SendRestartCommand(file); }, SystemAnswer(file, IOCTL_PEN_SEND, 1, 0)},
      {"send", [&] { return WritePenData(file, data, sizeof(data)); }, SystemAnswer(file, IOCTL_PEN_SEND, 2, 0)},
  };
  for (const auto& request : requests) {
    SCOPED_TRACE(request.name);
    EXPECT_NE(request.expected, 0u);
    EXPECT_NE(request.expected, static_cast<DWORD>(ERROR_IO_PENDING));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(request.call(), request.expected);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000) * kScale);
  }
  penHandle = nullptr;
  CloseHandle(file);
  afx::SetTimeScale(1.0);
}

}  // namespace
