#pragma once
// The module's resources in native builds: compiled resource files (.res, made
// by windres from the program's .rc at build time) embedded in the program and
// registered by a static initializer that afx_headless_resources (afx/resources.cmake)
// generates, and the dialog templates in them.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "afx/win_ui_types.h"

namespace afx::headless {

// Adds one .res image; later lookups search the images in registration order.
// Returns false (and keeps nothing) when the image is not a resource file.
bool RegisterResources(const unsigned char* data, std::size_t size);

struct ResourceData {
  const unsigned char* data;
  std::size_t size;
};

// The first resource of `type` with ordinal `name` (both MAKEINTRESOURCE), any language.
std::optional<ResourceData> FindResource(LPCSTR name, LPCSTR type);

struct DialogItemTemplate {
  DWORD style = 0;
  int id = 0;             // -1 for IDC_STATIC
  std::string className;  // as written, or the predefined class's name ("Button", "Static", ...)
  std::string text;       // UTF-8
};

struct DialogTemplate {
  DWORD style = 0;
  RECT rect{};  // dialog units: left, top, right, bottom
  std::string title;
  std::vector<DialogItemTemplate> items;
};

// An extended dialog template (DIALOGEX, as windres compiles it); nullopt when
// the bytes are not a complete one.
std::optional<DialogTemplate> ParseDialogTemplate(const ResourceData& resource);

}  // namespace afx::headless
