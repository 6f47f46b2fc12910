// Dialog templates as windres lays them out (see DLGTEMPLATEEX and DLGTEMPLATE
// in the Win32 documentation). Every read is bounds-checked: a damaged resource
// gives nullopt, never a read past its end.
#include "afx/headless/dialog_template.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "afx/headless/resources.h"

namespace afx::headless {
namespace {

class Cursor {
 public:
  Cursor(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Word(WORD& value) {
    if (m_offset > m_size || m_size - m_offset < 2) return false;
    value = static_cast<WORD>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
    m_offset += 2;
    return true;
  }
  bool Short(LONG& value) {
    WORD word = 0;
    if (!Word(word)) return false;
    value = static_cast<std::int16_t>(word);
    return true;
  }
  bool Dword(DWORD& value) {
    WORD low = 0;
    WORD high = 0;
    if (!Word(low) || !Word(high)) return false;
    value = low | (static_cast<DWORD>(high) << 16);
    return true;
  }
  bool Skip(std::size_t count) {
    if (m_offset > m_size || m_size - m_offset < count) return false;
    m_offset += count;
    return true;
  }
  void AlignDword() { m_offset = (m_offset + 3) & ~static_cast<std::size_t>(3); }
  bool String(std::string& text) {
    std::u16string wide;
    for (WORD c = 0;;) {
      if (!Word(c)) return false;
      if (c == 0) break;
      wide += static_cast<char16_t>(c);
    }
    text = Utf16ToUtf8(wide.data(), wide.size());
    return true;
  }
  // sz_Or_Ord: 0x0000 (none), 0xFFFF followed by an ordinal, or a string.
  bool StringOrOrdinal(std::string& text, WORD& ordinal) {
    WORD first = 0;
    if (!Word(first)) return false;
    if (first == 0) return true;
    if (first == 0xFFFF) return Word(ordinal);
    m_offset -= 2;
    return String(text);
  }

 private:
  const unsigned char* m_data;
  std::size_t m_size;
  std::size_t m_offset = 0;
};

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

bool ReadRect(Cursor& cursor, RECT& rect) {
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
  Cursor cursor(data, size);
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
    cursor = Cursor(data, size);
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
