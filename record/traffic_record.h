#pragma once
// The traffic record of a channel (the Win32 driver's or the virtual bus's): JSON
// Lines, one object per line, flushed per line (README, "Traffic record").
//   {"t_ms":0.412,"event":"plug","pen":"VPEN0001","interface":"\\\\?\\USB#..."}
//   {"t_ms":0.520,"event":"descriptor","pen":"VPEN0001","hex":"12010002..."}
//   {"t_ms":12.345,"dir":"to_pen","pen":"VPEN0001","hex":"faf000400000..."}
//   {"t_ms":12.400,"event":"restart","pen":"VPEN0001"}      (also: unplug)
//   {"t_ms":20.000,"event":"failure","text":"No response to flash read command"}
// t_ms is real time since the record was started, in milliseconds. Any thread.
// A line that cannot be written ends the record at the line before it: the
// channel carries on, and Incomplete() names where the record was going.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace record {

class TrafficRecord {
 public:
  enum class Direction { ToPen, FromPen };

  // Where each line goes, without its line end; false when it could not take the whole line.
  using LineSink = std::function<bool(const std::string& line)>;

  // Starts a new record into the file at `path` (truncated); false when it cannot be opened.
  bool Start(const std::string& path);
  // Starts a new record into `sink`, named `where`; the sink is let go of by Stop.
  void Start(LineSink sink, std::string where = {});
  void Stop();
  bool IsOn() const;
  // Where the record was going when a line could not be written; empty while every line was.
  std::string Incomplete() const;

  void Packet(Direction direction, const std::string& pen, const std::uint8_t* data, std::size_t size);
  void Descriptor(const std::string& pen, const std::uint8_t* data, std::size_t size);
  // restart, unplug, or plug with the interface the pen publishes.
  void Event(const char* event, const std::string& pen, const std::string& interfaceName = {});
  // Why the upgrade failed: a note for whoever reads the record, not traffic.
  void Failure(const std::string& reason);

 private:
  void WriteLine(const std::string& line);  // with m_mutex held
  std::string Time() const;                 // with m_mutex held

  mutable std::mutex m_mutex;
  LineSink m_out;
  std::string m_where;
  bool m_incomplete = false;
  std::chrono::steady_clock::time_point m_start;
};

// `text` as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);
// The bytes in lower-case hex, as the record writes packets.
std::string Hex(const std::uint8_t* data, std::size_t size);

}  // namespace record
