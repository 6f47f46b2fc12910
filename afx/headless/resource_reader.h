#pragma once
// Bounds-checked little-endian reads over a compiled resource (.res entries,
// dialog templates, string tables): a damaged resource makes a read fail,
// never read past its end.
#include <cstddef>
#include <cstdint>
#include <string>

#include "afx/headless/resources.h"

namespace afx::headless {

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
  // A zero-terminated UTF-16 string, as UTF-8.
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

}  // namespace afx::headless
