#pragma once
// Reads a dialog template (DLGTEMPLATEEX, or the older DLGTEMPLATE) as windres
// compiles it into an RT_DIALOG resource, so that the headless windows have the
// same controls, texts, styles and positions as the real ones.
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "afx/win_ui_types.h"

namespace afx::headless {

struct DialogItemTemplate {
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};            // dialog units: left, top, right, bottom
  int id = 0;             // -1 for IDC_STATIC
  std::string className;  // "Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox" or the name given
  std::string text;       // UTF-8; empty when the title is a resource ordinal
  WORD textOrdinal = 0;   // the resource ID of an icon control's image, else 0
};

struct DialogTemplate {
  bool extended = false;
  DWORD style = 0;
  DWORD exStyle = 0;
  RECT rect{};
  std::string title;
  WORD pointSize = 0;
  std::string typeface;
  std::vector<DialogItemTemplate> items;
};

// nullopt when the bytes are not a complete template.
std::optional<DialogTemplate> ParseDialogTemplate(const unsigned char* data, std::size_t size);

}  // namespace afx::headless
