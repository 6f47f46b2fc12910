#pragma once
// A traffic record played back as its pen (README, "Traffic record"); it models
// nothing and knows no bus: whoever serves it on one (virtualpen/replayed_pen.h)
// asks it what the pen does when it plugs and after each message from the host.
// The first pen the record plugs is played: each message the host sends must
// equal the record's next to_pen packet, and the record's packets from the pen,
// descriptors, restarts and plugs up to the next to_pen then follow, spaced as
// recorded. A pen leaves at the request the record has before its restart or
// unplug. A message that differs or comes past the record's end ends the replay:
// the pen leaves for good and Verdict() names the record's line and both packets.
// Not thread-safe: whoever serves it serialises the calls.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace record {

// A USB device descriptor's fixed size, as the record's descriptor lines hold it.
inline constexpr std::size_t kDescriptorSize = 18;

class RecordPlayer {
 public:
  struct Line {
    enum class Kind { ToPen, FromPen, Descriptor, Plug, Unplug, Restart };
    int number = 0;  // in the file, from 1
    double ms = 0;
    Kind kind = Kind::ToPen;
    std::vector<std::uint8_t> bytes;  // a packet or a descriptor
    std::string interfaceName;        // a plug's
  };

  // What the pen does after a plug or a message: sends `packets`, each `ms`
  // recorded milliseconds after it, and leaves the bus as `leave` says.
  struct Step {
    struct Packet {
      double ms = 0;
      std::vector<std::uint8_t> bytes;
    };
    enum class Leave { Stays, Unplugs, Restarts };
    std::vector<Packet> packets;
    Leave leave = Leave::Stays;
    std::optional<double> backAfterMs;  // a restart's: until its plug; none when the record has none
  };

  // Reads the record at `path`; null with `error` naming the line when it cannot.
  static std::unique_ptr<RecordPlayer> Load(const std::string& path, std::string& error);
  RecordPlayer(std::string path, std::string serial, std::vector<Line> lines);

  const std::string& Serial() const { return m_serial; }
  // The pen comes onto the bus if the record plugs it next; then `step` is what follows.
  bool Plug(Step& step);
  // A message from the host, and what the pen does after it.
  Step Message(const std::uint8_t* data, std::size_t size);
  const std::string& InterfaceName() const { return m_interfaceName; }  // the last plug's
  // The last descriptor the record has read so far; empty before the first.
  const std::vector<std::uint8_t>& Descriptor() const { return m_descriptor; }

  // Empty once the host has sent every request of the record, each as recorded;
  // otherwise why not: the first message that differed, or the request not sent.
  std::string Verdict() const;

 private:
  // Takes the packets and descriptors after a line of `fromMs` into `step`.
  void Play(double fromMs, Step& step);
  // Takes a restart or unplug that comes next, with the plug after it.
  void Leave(Step& step);
  std::string LineName(std::size_t index) const;

  const std::string m_path;
  const std::string m_serial;
  const std::vector<Line> m_lines;
  std::size_t m_next = 0;  // the line to play next
  std::string m_interfaceName;
  std::vector<std::uint8_t> m_descriptor;
  std::string m_failure;
};

}  // namespace record
