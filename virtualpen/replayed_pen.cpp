#include "virtualpen/replayed_pen.h"

#include <algorithm>
#include <chrono>

#include "afx/time_scale.h"

namespace virtualpen {
namespace {

using Step = record::RecordPlayer::Step;

// Recorded milliseconds as real time under the time scale.
BusDevice::Clock::duration Gap(double ms) {
  const std::chrono::duration<double> scaledSecond = afx::Scaled(1000);
  return std::chrono::duration_cast<BusDevice::Clock::duration>(scaledSecond * (std::max(0.0, ms) / 1000.0));
}

}  // namespace

std::shared_ptr<ReplayedPen> ReplayedPen::Load(const std::string& path, std::string& error) {
  auto player = record::RecordPlayer::Load(path, error);
  return player ? std::make_shared<ReplayedPen>(std::move(player)) : nullptr;
}

ReplayedPen::ReplayedPen(std::unique_ptr<record::RecordPlayer> player)
    : BusDevice(player->Serial()), m_player(std::move(player)) {}

std::string ReplayedPen::Verdict() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_player->Verdict();
}

std::string ReplayedPen::InterfaceNameLocked() const { return m_player->InterfaceName(); }

DeviceDescriptor ReplayedPen::DescriptorLocked() const {
  DeviceDescriptor descriptor{};
  const auto& recorded = m_player->Descriptor();
  std::copy(recorded.begin(), recorded.end(), descriptor.begin());
  return descriptor;
}

bool ReplayedPen::BootLocked(bool, const BootOverrides&) {
  Step step;
  if (!m_player->Plug(step)) return false;
  EnterBusLocked();
  PlayLocked(step);
  return true;
}

BusDevice::Outcome ReplayedPen::HandleMessageLocked(const std::uint8_t* data, std::size_t size,
                                                    BootOverrides& next) {
  const Step step = m_player->Message(data, size);
  PlayLocked(step);
  switch (step.leave) {
    case Step::Leave::Stays:
      return Outcome::None;
    case Step::Leave::Unplugs:
      return Outcome::Unplug;
    case Step::Leave::Restarts:
      break;
  }
  if (step.backAfterMs) {
    next.delayMs = static_cast<std::uint32_t>(std::max(0.0, *step.backAfterMs));
  } else {
    next.neverReturn = true;
  }
  return Outcome::Restart;
}

void ReplayedPen::PlayLocked(const Step& step) {
  const Clock::time_point now = Clock::now();
  for (const Step::Packet& packet : step.packets) QueueLocked(packet.bytes, now + Gap(packet.ms));
}

}  // namespace virtualpen
