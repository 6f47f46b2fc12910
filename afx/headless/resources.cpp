// The registry of embedded .res images, the lookup Win32 does in a module's
// resource section (by type and name: an ordinal or a case-insensitive string),
// and the dialog template reader. Every read is bounds-checked: a damaged
// resource makes a read fail, never read past its end.
#include "afx/headless/resources.h"

#include <mutex>

namespace afx::headless {
namespace {

class ResourceReader {
 public:
  ResourceReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

  bool Has(std::size_t count) const { return m_offset <= m_size && count <= m_size - m_offset; }
  std::size_t Offset() const { return m_offset; }
  void Seek(std::size_t offset) { m_offset = offset; }
  bool Skip(std::size_t count) {
    if (!Has(count)) return false;
    m_offset += count;
    return true;
  }
  void AlignDword() { m_offset = (m_offset + 3) & ~static_cast<std::size_t>(3); }

  bool Word(WORD& value) {
    if (!Has(2)) return false;
    value = static_cast<WORD>(m_data[m_offset] | (m_data[m_offset + 1] << 8));
    m_offset += 2;
    return true;
  }
  bool Dword(DWORD& value) {
    WORD low = 0;
    WORD high = 0;
    if (!Word(low) || !Word(high)) return false;
    value = low | (static_cast<DWORD>(high) << 16);
    return true;
  }
  // x, y, cx, cy (signed) as left, top, right, bottom.
  bool Rect(RECT& rect) {
    WORD x = 0, y = 0, cx = 0, cy = 0;
    if (!Word(x) || !Word(y) || !Word(cx) || !Word(cy)) return false;
    const auto s = [](WORD w) { return static_cast<LONG>(static_cast<std::int16_t>(w)); };
    rect = {s(x), s(y), s(x) + s(cx), s(y) + s(cy)};
    return true;
  }
  // A zero-terminated UTF-16 string, as UTF-8 (the resources' texts lie in the Basic Multilingual Plane).
  bool String(std::string& text) {
    text.clear();
    for (WORD c = 0;;) {
      if (!Word(c)) return false;
      if (c == 0) return true;
      if (c < 0x80) {
        text += static_cast<char>(c);
      } else if (c < 0x800) {
        text += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
      } else {
        text += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                 static_cast<char>(0x80 | (c & 0x3F))};
      }
    }
  }
  // A string or an ordinal (0xFFFF, n); 0x0000 alone for neither.
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

struct Resource {
  WORD type;
  WORD name;
  ResourceData data;
};

std::mutex registryMutex;
std::vector<Resource>& Registry() {
  static std::vector<Resource> registry;
  return registry;
}

}  // namespace

bool RegisterResources(const unsigned char* data, std::size_t size) {
  // Each entry: DataSize, HeaderSize, TYPE, NAME, (align), DataVersion,
  // MemoryFlags, LanguageId, Version, Characteristics, then the data, aligned.
  // The programs name their resources by ordinal: entries named by string are kept
  // out of the lookup.
  std::vector<Resource> found;
  ResourceReader reader(data, size);
  while (reader.Has(1)) {
    const std::size_t start = reader.Offset();
    DWORD dataSize = 0;
    DWORD headerSize = 0;
    std::string typeName;
    std::string name;
    Resource resource{};
    if (!reader.Dword(dataSize) || !reader.Dword(headerSize) || !reader.StringOrOrdinal(typeName, resource.type) ||
        !reader.StringOrOrdinal(name, resource.name) || headerSize < reader.Offset() - start) {
      return false;
    }
    reader.Seek(start + headerSize);
    if (!reader.Has(dataSize)) return false;
    resource.data = {data + start + headerSize, dataSize};
    // Not the leading empty entry, nor one named by a string.
    if (resource.type != 0 && typeName.empty() && name.empty()) found.push_back(resource);
    reader.Seek(start + headerSize + dataSize);
    reader.AlignDword();
  }
  if (found.empty()) return false;
  std::lock_guard<std::mutex> guard(registryMutex);
  Registry().insert(Registry().end(), found.begin(), found.end());
  return true;
}

std::optional<ResourceData> FindResource(LPCSTR name, LPCSTR type) {
  if (!IS_INTRESOURCE(name) || !IS_INTRESOURCE(type)) return std::nullopt;
  std::lock_guard<std::mutex> guard(registryMutex);
  for (const Resource& resource : Registry()) {
    if (resource.type == LOWORD(reinterpret_cast<ULONG_PTR>(type)) &&
        resource.name == LOWORD(reinterpret_cast<ULONG_PTR>(name))) {
      return resource.data;
    }
  }
  return std::nullopt;
}

std::optional<DialogTemplate> ParseDialogTemplate(const ResourceData& resource) {
  // DLGTEMPLATEEX: dlgVer 1, signature 0xFFFF, helpID, exStyle, style, cDlgItems,
  // x, y, cx, cy, menu, windowClass, title, [pointsize, weight, italic, charset, typeface].
  ResourceReader cursor(resource.data, resource.size);
  DialogTemplate dialog;
  WORD version = 0;
  WORD signature = 0;
  DWORD helpId = 0;
  DWORD exStyle = 0;
  WORD itemCount = 0;
  std::string ignoredText;
  WORD ignoredOrdinal = 0;
  if (!cursor.Word(version) || !cursor.Word(signature) || version != 1 || signature != 0xFFFF ||
      !cursor.Dword(helpId) || !cursor.Dword(exStyle) || !cursor.Dword(dialog.style) ||
      !cursor.Word(itemCount) || !cursor.Rect(dialog.rect) || !cursor.StringOrOrdinal(ignoredText, ignoredOrdinal) ||
      !cursor.StringOrOrdinal(ignoredText, ignoredOrdinal) || !cursor.String(dialog.title)) {
    return std::nullopt;
  }
  if ((dialog.style & DS_SETFONT) != 0 && (!cursor.Skip(6) || !cursor.String(ignoredText))) return std::nullopt;

  for (WORD index = 0; index < itemCount; ++index) {
    // DLGITEMTEMPLATEEX: helpID, exStyle, style, x, y, cx, cy, id, class, title, extra count, extra.
    cursor.AlignDword();
    DialogItemTemplate item;
    RECT rect{};
    DWORD id = 0;
    WORD classOrdinal = 0;
    WORD extra = 0;
    if (!cursor.Dword(helpId) || !cursor.Dword(exStyle) || !cursor.Dword(item.style) || !cursor.Rect(rect) ||
        !cursor.Dword(id) || !cursor.StringOrOrdinal(item.className, classOrdinal) ||
        !cursor.StringOrOrdinal(item.text, ignoredOrdinal) || !cursor.Word(extra) || !cursor.Skip(extra)) {
      return std::nullopt;
    }
    item.id = static_cast<int>(id);
    if (classOrdinal == 0x80) item.className = "Button";
    if (classOrdinal == 0x82) item.className = "Static";
    dialog.items.push_back(std::move(item));
  }
  return dialog;
}

}  // namespace afx::headless
