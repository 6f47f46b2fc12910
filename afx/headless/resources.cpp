// The registry of embedded .res images and the lookups Win32 does in a module's
// resource section: by type and name (ordinal or case-insensitive string), and
// string tables in blocks of sixteen.
#include "afx/headless/resources.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "afx/headless/resource_reader.h"

namespace afx::headless {
namespace {

// A type or name: an ordinal, or an upper-cased ASCII string (as Win32 compares them).
struct ResourceId {
  WORD ordinal = 0;
  std::string name;
  bool operator==(const ResourceId& other) const { return ordinal == other.ordinal && name == other.name; }
};

struct Resource {
  ResourceId type;
  ResourceId name;
  ResourceData data;
};

std::mutex registryMutex;
std::vector<Resource>& Registry() {
  static std::vector<Resource> registry;
  return registry;
}

// A type or name in a .res entry header: an ordinal, or a name compared upper-cased.
bool ReadId(ResourceReader& reader, ResourceId& id) {
  if (!reader.StringOrOrdinal(id.name, id.ordinal)) return false;
  for (char& c : id.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return true;
}

std::size_t AlignDword(std::size_t offset) { return (offset + 3) & ~static_cast<std::size_t>(3); }

ResourceId IdOf(LPCSTR nameOrOrdinal) {
  ResourceId id;
  if (IS_INTRESOURCE(nameOrOrdinal)) {
    id.ordinal = LOWORD(reinterpret_cast<ULONG_PTR>(nameOrOrdinal));
  } else if (nameOrOrdinal[0] == '#') {
    id.ordinal = static_cast<WORD>(std::strtoul(nameOrOrdinal + 1, nullptr, 10));
  } else {
    for (const char* c = nameOrOrdinal; *c != '\0'; ++c) {
      id.name += static_cast<char>(std::toupper(static_cast<unsigned char>(*c)));
    }
  }
  return id;
}

}  // namespace

std::string Utf16ToUtf8(const char16_t* text, std::size_t length) {
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

bool RegisterResources(const unsigned char* data, std::size_t size) {
  // Each entry: DataSize, HeaderSize, TYPE, NAME, (align), DataVersion,
  // MemoryFlags, LanguageId, Version, Characteristics, then the data, aligned.
  std::vector<Resource> found;
  ResourceReader reader(data, size);
  while (reader.Has(1)) {
    const std::size_t start = reader.Offset();
    DWORD dataSize = 0;
    DWORD headerSize = 0;
    Resource resource;
    if (!reader.Dword(dataSize) || !reader.Dword(headerSize) || !ReadId(reader, resource.type) ||
        !ReadId(reader, resource.name)) {
      return false;
    }
    if (headerSize < reader.Offset() - start || !reader.Has(0)) return false;
    reader.Seek(start + headerSize);
    if (!reader.Has(dataSize)) return false;
    resource.data = {data + start + headerSize, dataSize};
    if (!(resource.type.ordinal == 0 && resource.type.name.empty())) found.push_back(resource);  // not the leading empty entry
    reader.Seek(AlignDword(start + headerSize + dataSize));
  }
  if (found.empty()) return false;
  std::lock_guard<std::mutex> guard(registryMutex);
  Registry().insert(Registry().end(), found.begin(), found.end());
  return true;
}

std::optional<ResourceData> FindResource(LPCSTR name, LPCSTR type) {
  if (name == nullptr || type == nullptr) return std::nullopt;
  const ResourceId wantedName = IdOf(name);
  const ResourceId wantedType = IdOf(type);
  std::lock_guard<std::mutex> guard(registryMutex);
  for (const Resource& resource : Registry()) {
    if (resource.type == wantedType && resource.name == wantedName) return resource.data;
  }
  return std::nullopt;
}

std::optional<std::string> LoadStringResource(UINT id) {
  const auto block = FindResource(MAKEINTRESOURCE((id >> 4) + 1), RT_STRING);
  if (!block) return std::nullopt;
  ResourceReader reader(block->data, block->size);
  for (UINT index = 0; index < 16; ++index) {
    WORD length = 0;
    if (!reader.Word(length)) return std::nullopt;
    if (index == (id & 15)) {
      if (length == 0) return std::nullopt;
      std::u16string text;
      for (WORD i = 0, c = 0; i < length; ++i) {
        if (!reader.Word(c)) return std::nullopt;
        text += static_cast<char16_t>(c);
      }
      return Utf16ToUtf8(text.data(), text.size());
    }
    if (!reader.Has(2u * length)) return std::nullopt;
    reader.Seek(reader.Offset() + 2u * length);
  }
  return std::nullopt;
}

}  // namespace afx::headless
