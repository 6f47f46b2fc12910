#pragma once
// The module's resources in native builds: compiled resource files (.res, made
// by windres from the program's .rc at build time) embedded in the program and
// registered at start-up by afx_headless_resources (afx/CMakeLists.txt).
#include <cstddef>
#include <optional>
#include <string>

#include "afx/win_ui_types.h"

namespace afx::headless {

struct ResourceData {
  const unsigned char* data;
  std::size_t size;
};

// Adds one .res image; later lookups search the images in registration order.
// Returns false (and keeps nothing) when the image is not a resource file.
bool RegisterResources(const unsigned char* data, std::size_t size);

// The first resource of `type` named `name` (either may be MAKEINTRESOURCE), any language.
std::optional<ResourceData> FindResource(LPCSTR name, LPCSTR type);

// String `id` of the string tables, as UTF-8; nullopt when there is none.
std::optional<std::string> LoadStringResource(UINT id);

// UTF-16 (little-endian, as in resources) to UTF-8.
std::string Utf16ToUtf8(const char16_t* text, std::size_t length);

}  // namespace afx::headless
