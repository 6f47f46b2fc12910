#pragma once
// A device on the virtual bus that plays a traffic record back (README, "Traffic
// record"); it models nothing. The first pen the record plugs is played: each
// message the host sends must equal the record's next to_pen packet, and the
// record's packets from the pen, descriptors, restarts and plugs up to the next
// to_pen then follow, spaced as recorded (product time). A pen leaves the bus at
// the request the record has before its restart or unplug. A message that differs
// or comes past the record's end ends the replay: the player leaves the bus for
// good and Verdict() names the record's line and both packets.
#include <memory>
#include <string>
#include <vector>

#include "virtualpen/bus_device.h"

namespace virtualpen {

class RecordPlayer : public BusDevice {
 public:
  struct Line {
    enum class Kind { ToPen, FromPen, Descriptor, Plug, Unplug, Restart };
    int number = 0;  // in the file, from 1
    double ms = 0;
    Kind kind = Kind::ToPen;
    std::vector<std::uint8_t> bytes;  // a packet or a descriptor
    std::string interfaceName;        // a plug's
  };

  // Reads the record at `path`; null with `error` naming the line when it cannot.
  static std::shared_ptr<RecordPlayer> Load(const std::string& path, std::string& error);
  RecordPlayer(std::string path, std::string serial, std::vector<Line> lines);

  // Empty once the host has sent every request of the record, each as recorded;
  // otherwise why not: the first message that differed, or the request not sent.
  std::string Verdict() const;

 private:
  std::string InterfaceNameLocked() const override;
  DeviceDescriptor DescriptorLocked() const override;
  bool BootLocked(bool functionButton, const BootOverrides& overrides) override;
  Outcome HandleMessageLocked(const std::uint8_t* data, std::size_t size, BootOverrides& next) override;
  // Plays the packets and descriptors after a line of `fromMs`, played at `from`.
  void PlayLocked(Clock::time_point from, double fromMs);
  // Plays a restart or unplug that comes next, with the plug after it.
  Outcome LeaveLocked(BootOverrides& next);
  std::string LineName(std::size_t index) const;

  const std::string m_path;
  const std::vector<Line> m_lines;
  std::size_t m_next = 0;  // the line to play next
  std::string m_interfaceName;
  DeviceDescriptor m_descriptor{};
  std::string m_failure;
};

}  // namespace virtualpen
