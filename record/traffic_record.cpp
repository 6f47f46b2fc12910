#include "record/traffic_record.h"

#include <cstdio>
#include <memory>

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

// C stdio, not iostreams: the shipped tool records too, and streams would double its size.
bool TrafficRecord::Start(const std::string& path) {
  std::shared_ptr<std::FILE> file(std::fopen(path.c_str(), "wb"), [](std::FILE* f) {
    if (f != nullptr) std::fclose(f);
  });
  if (!file) return false;
  Start([file](const std::string& line) {
    std::fwrite(line.data(), 1, line.size(), file.get());
    std::fputc('\n', file.get());
    std::fflush(file.get());  // a run that dies mid-upgrade keeps its record up to the last packet
  });
  return true;
}

void TrafficRecord::Start(LineSink sink) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_out = std::move(sink);
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

void TrafficRecord::WriteLine(const std::string& line) { m_out(line); }

std::string TrafficRecord::Time() const {
  const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - m_start;
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", elapsed.count());
  return text;
}

}  // namespace record
