// The virtual-pen Windows build: puts the pens its command line asks for on the
// virtual bus before the application starts.
#include <cstdlib>
#include <string>

#include "afx/win_types.h"
#include "tool/virtual_pen_options.h"

namespace {

bool SetUpFromCommandLine() {
  VirtualPenSetup setup;
  std::vector<std::string> rest;
  std::string error;
  if (ParseVirtualPenOptions(__argc, __argv, setup, rest, error) && rest.empty() &&
      ApplyVirtualPenSetup(setup, error)) {
    return true;
  }
  if (error.empty()) error = "unknown option: " + rest.front();
  const std::string text = error + "\n\n" + kVirtualPenUsage;
  MessageBoxA(nullptr, text.c_str(), "nibflash_virtual_pen", MB_OK | MB_ICONEXCLAMATION);
  std::exit(2);
}

const bool setUp = SetUpFromCommandLine();

}  // namespace
