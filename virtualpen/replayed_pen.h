#pragma once
// A traffic record's pen on the virtual bus: it serves a record::RecordPlayer,
// which says what the pen does, at product time (the packets' spacing follows the
// time scale). It models nothing.
#include <memory>
#include <string>

#include "record/record_player.h"
#include "virtualpen/bus_device.h"

namespace virtualpen {

class ReplayedPen : public BusDevice {
 public:
  // Reads the record at `path`; null with `error` naming the line when it cannot.
  static std::shared_ptr<ReplayedPen> Load(const std::string& path, std::string& error);
  explicit ReplayedPen(std::unique_ptr<record::RecordPlayer> player);

  // Empty once the host has sent every request of the record, each as recorded;
  // otherwise why not (record::RecordPlayer::Verdict).
  std::string Verdict() const;

 private:
  std::string InterfaceNameLocked() const override;
  DeviceDescriptor DescriptorLocked() const override;
  bool BootLocked(bool functionButton, const BootOverrides& overrides) override;
  Outcome HandleMessageLocked(const std::uint8_t* data, std::size_t size, BootOverrides& next) override;
  // Queues the packets of `step`, spaced from now.
  void PlayLocked(const record::RecordPlayer::Step& step);

  const std::unique_ptr<record::RecordPlayer> m_player;  // used with m_mutex held
};

static_assert(std::tuple_size<DeviceDescriptor>::value == record::kDescriptorSize,
              "a record's descriptors are the bus's");

}  // namespace virtualpen
