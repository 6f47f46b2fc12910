#pragma once
// The bus's traffic record: JSON Lines, one object per line, flushed per line.
//   {"t_ms":12.345,"dir":"to_pen","pen":"VPEN0001","hex":"faf000400000..."}
//   {"t_ms":12.400,"event":"restart","pen":"VPEN0001"}      (events: plug, unplug, restart)
// t_ms is real time since the record was started, in milliseconds.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <ostream>
#include <string>

namespace virtualpen {

class TrafficRecord {
 public:
  enum class Direction { ToPen, FromPen };

  // Starts a new record into the file at `path` (truncated); false when it cannot be opened.
  bool Start(const std::string& path);
  // Starts a new record into `out`, which the caller may read once Stop has returned.
  void Start(std::shared_ptr<std::ostream> out);
  void Stop();
  bool IsOn() const;

  void Packet(Direction direction, const std::string& pen, const std::uint8_t* data, std::size_t size);
  void Event(const char* event, const std::string& pen);

 private:
  void WriteLine(const std::string& line);  // with m_mutex held
  std::string Time() const;                 // with m_mutex held

  mutable std::mutex m_mutex;
  std::shared_ptr<std::ostream> m_out;
  std::chrono::steady_clock::time_point m_start;
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

}  // namespace virtualpen
