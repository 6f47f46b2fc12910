// The channel's process-wide state and the helpers both backends use on it.
#include "usb/pen_channel_shared.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "usb/pen_channel.h"

std::atomic<HANDLE> penHandle{nullptr};
char* devicePath = nullptr;

namespace pen_channel {

void Diagnostic(const char* text) {
  std::printf("%s", text);
  // Redirected output is block-buffered; a tool that is closed or fails later
  // must not lose the line.
  std::fflush(stdout);
}

void NameInterface(const char* path) {
  std::printf("Symbolic link is %s\n", path);
  std::fflush(stdout);
  ReleaseDevicePath();
  // Null if the copy cannot be made, so that the name of an older interface
  // never stands for this one.
  const std::size_t length = std::strlen(path) + 1;
  if (auto* copy = static_cast<char*>(std::malloc(length))) {
    std::memcpy(copy, path, length);
    devicePath = copy;
  }
}

}  // namespace pen_channel

void ReleaseDevicePath() {
  std::free(devicePath);
  devicePath = nullptr;
}
