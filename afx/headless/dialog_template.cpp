// Dialog templates as windres lays them out (see DLGTEMPLATEEX and DLGTEMPLATE
// in the Win32 documentation). Every read is bounds-checked: a damaged resource
// gives nullopt, never a read past its end.
#include "afx/headless/dialog_template.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "afx/headless/resource_reader.h"

namespace afx::headless {
namespace {

const char* PredefinedClass(WORD ordinal) {
  switch (ordinal) {
    case 0x80:
      return "Button";
    case 0x81:
      return "Edit";
    case 0x82:
      return "Static";
    case 0x83:
      return "ListBox";
    case 0x84:
      return "ScrollBar";
    case 0x85:
      return "ComboBox";
    default:
      return "";
  }
}

// windres upper-cases class names; the system compares them ignoring case.
std::string CanonicalClass(const std::string& name) {
  static const char* const known[] = {"Button", "Edit", "Static", "ListBox", "ScrollBar", "ComboBox", PROGRESS_CLASSA};
  for (const char* candidate : known) {
    if (name.size() == std::strlen(candidate) &&
        std::equal(name.begin(), name.end(), candidate, [](char a, char b) {
          return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
        })) {
      return candidate;
    }
  }
  return name;
}

bool ReadRect(ResourceReader& cursor, RECT& rect) {
  LONG x = 0;
  LONG y = 0;
  LONG cx = 0;
  LONG cy = 0;
  if (!cursor.Short(x) || !cursor.Short(y) || !cursor.Short(cx) || !cursor.Short(cy)) return false;
  rect = {x, y, x + cx, y + cy};
  return true;
}

}  // namespace

std::optional<DialogTemplate> ParseDialogTemplate(const unsigned char* data, std::size_t size) {
  ResourceReader cursor(data, size);
  DialogTemplate dialog;
  WORD version = 0;
  WORD signature = 0;
  if (!cursor.Word(version) || !cursor.Word(signature)) return std::nullopt;
  dialog.extended = version == 1 && signature == 0xFFFF;
  WORD itemCount = 0;
  if (dialog.extended) {
    DWORD helpId = 0;
    if (!cursor.Dword(helpId) || !cursor.Dword(dialog.exStyle) || !cursor.Dword(dialog.style)) return std::nullopt;
  } else {
    cursor = ResourceReader(data, size);
    if (!cursor.Dword(dialog.style) || !cursor.Dword(dialog.exStyle)) return std::nullopt;
  }
  std::string menu;
  std::string windowClass;
  WORD ordinal = 0;
  if (!cursor.Word(itemCount) || !ReadRect(cursor, dialog.rect) || !cursor.StringOrOrdinal(menu, ordinal) ||
      !cursor.StringOrOrdinal(windowClass, ordinal) || !cursor.String(dialog.title)) {
    return std::nullopt;
  }
  if ((dialog.style & DS_SETFONT) != 0) {
    if (!cursor.Word(dialog.pointSize)) return std::nullopt;
    if (dialog.extended) {
      WORD weight = 0;
      if (!cursor.Word(weight) || !cursor.Skip(2)) return std::nullopt;  // weight, italic, charset
    }
    if (!cursor.String(dialog.typeface)) return std::nullopt;
  }

  for (WORD index = 0; index < itemCount; ++index) {
    cursor.AlignDword();
    DialogItemTemplate item;
    if (dialog.extended) {
      DWORD helpId = 0;
      DWORD id = 0;
      if (!cursor.Dword(helpId) || !cursor.Dword(item.exStyle) || !cursor.Dword(item.style) ||
          !ReadRect(cursor, item.rect) || !cursor.Dword(id)) {
        return std::nullopt;
      }
      item.id = static_cast<int>(id);
    } else {
      WORD id = 0;
      if (!cursor.Dword(item.style) || !cursor.Dword(item.exStyle) || !ReadRect(cursor, item.rect) || !cursor.Word(id)) {
        return std::nullopt;
      }
      item.id = static_cast<std::int16_t>(id);
    }
    WORD classOrdinal = 0;
    if (!cursor.StringOrOrdinal(item.className, classOrdinal) ||
        !cursor.StringOrOrdinal(item.text, item.textOrdinal)) {
      return std::nullopt;
    }
    item.className = item.className.empty() ? PredefinedClass(classOrdinal) : CanonicalClass(item.className);
    WORD extra = 0;
    if (!cursor.Word(extra)) return std::nullopt;
    // The old format counts the size word itself.
    const std::size_t skip = dialog.extended ? extra : (extra >= 2 ? extra - 2u : 0u);
    if (!cursor.Skip(skip)) return std::nullopt;
    dialog.items.push_back(std::move(item));
  }
  return dialog;
}

}  // namespace afx::headless
