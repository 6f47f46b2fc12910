// The helpers both backends use.
#include "usb/pen_channel_shared.h"

#include <cstdio>

namespace pen_channel {

void Diagnostic(const char* text) {
  std::printf("%s", text);
  // Redirected output is block-buffered; a tool that is closed or fails later
  // must not lose the line.
  std::fflush(stdout);
}

void NameInterface(const std::string& path) {
  std::printf("Symbolic link is %s\n", path.c_str());
  std::fflush(stdout);
}

void PrintUpgradeFailure(const char* reason) {
  std::printf("Upgrade failed: %s\n", reason);
  std::fflush(stdout);
}

}  // namespace pen_channel
