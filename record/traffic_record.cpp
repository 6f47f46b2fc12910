#include "record/traffic_record.h"

#include <cstdio>
#include <memory>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace record {

std::string Hex(const std::uint8_t* data, std::size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    hex += kDigits[data[i] >> 4];
    hex += kDigits[data[i] & 0x0F];
  }
  return hex;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

// Cuts the file back to its whole lines after a write that may have left part of one.
void TruncateTo(std::FILE* file, long size) {
#ifdef _WIN32
  _chsize_s(_fileno(file), size);
#else
  static_cast<void>(ftruncate(fileno(file), size));
#endif
}

}  // namespace

// C stdio, not iostreams: the shipped tool records too, and streams would double its size.
bool TrafficRecord::Start(const std::string& path) {
  std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "wb"), [](std::FILE* f) {
    if (f != nullptr) std::fclose(f);
  });
  if (!file) return false;
  // Unbuffered: each line goes out in one write, and nothing is left over to be
  // written after a failed one.
  std::setvbuf(file.get(), nullptr, _IONBF, 0);
  auto whole = std::make_shared<long>(0);  // bytes of whole lines in the file
  Start(
      [file, whole](const std::string& line) {
        const std::string text = line + '\n';
        if (std::fwrite(text.data(), 1, text.size(), file.get()) == text.size()) {
          *whole += static_cast<long>(text.size());
          return true;
        }
        TruncateTo(file.get(), *whole);
        return false;
      },
      path);
  return true;
}

void TrafficRecord::Start(LineSink sink, std::string where) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_out = std::move(sink);
  m_where = std::move(where);
  m_incomplete = false;
  m_start = std::chrono::steady_clock::now();
}

void TrafficRecord::Stop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_out = nullptr;
}

bool TrafficRecord::IsOn() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_out != nullptr;
}

std::string TrafficRecord::Incomplete() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_incomplete ? m_where : std::string();
}

void TrafficRecord::Packet(Direction direction, const std::string& pen, const std::uint8_t* data,
                           std::size_t size) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return;
  WriteLine("{\"t_ms\":" + Time() + ",\"dir\":\"" +
            (direction == Direction::ToPen ? "to_pen" : "from_pen") + "\",\"pen\":" + JsonString(pen) +
            ",\"hex\":\"" + Hex(data, size) + "\"}");
}

void TrafficRecord::Descriptor(const std::string& pen, const std::uint8_t* data, std::size_t size) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return;
  WriteLine("{\"t_ms\":" + Time() + ",\"event\":\"descriptor\",\"pen\":" + JsonString(pen) + ",\"hex\":\"" +
            Hex(data, size) + "\"}");
}

void TrafficRecord::Event(const char* event, const std::string& pen, const std::string& interfaceName) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return;
  WriteLine("{\"t_ms\":" + Time() + ",\"event\":\"" + event + "\",\"pen\":" + JsonString(pen) +
            (interfaceName.empty() ? "" : ",\"interface\":" + JsonString(interfaceName)) + "}");
}

void TrafficRecord::Failure(const std::string& reason) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (!m_out) return;
  WriteLine("{\"t_ms\":" + Time() + ",\"event\":\"failure\",\"text\":" + JsonString(reason) + "}");
}

void TrafficRecord::WriteLine(const std::string& line) {
  if (m_out(line)) return;
  m_out = nullptr;  // the record ends at its last whole line
  m_incomplete = true;
}

std::string TrafficRecord::Time() const {
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - m_start;
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", elapsed.count());
  return text;
}

}  // namespace record
