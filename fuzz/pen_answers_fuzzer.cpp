// libFuzzer target: everything the pen sends, on its way through the receive
// thread's dispatch into the upgrader, during whole upgrades of the virtual pen.
//
// The pen's packets are numbered from 0 over the run: the text it sends as it
// boots (0 is handed over before the upgrade starts: what is put before or
// after it, or in its place, is an answer nobody waits for), every answer, and
// the DFU-mode announcement after the first restart. The input edits them:
//   byte 0     the pen: bit 0 starts in DFU mode, bit 1 its DFU region already matches
//   then       edits of 4 bytes and a tail: packet number (little-endian, 2 bytes),
//              Op, tail length n, n tail bytes
// Packets reach DispatchPacket on the upgrade thread, right after the request
// that caused them, in the order the edits leave them; a late or repeated
// answer therefore lands exactly where the input puts it, and a run is
// deterministic whatever the machine's load.
//
// Whatever the pen sends, Upgrade throws UpgradeToolException or returns with
// the pen upgraded, and nothing below the boot-control word changes. It must
// return when each command still has an answer of its own in time: answers
// repeated, one attempt late, missing on fewer than all attempts, or anything
// sent before the run. Anything else, a crash, a hang or a sanitizer report, is
// a finding.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "afx/time_scale.h"
#include "engine/firmware_upgrader.h"
#include "engine/pen_packet.h"
#include "firmware/embedded_images.h"
#include "tool/receive_thread.h"
#include "usb/pen_channel.h"
#include "virtualpen/virtual_bus.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

enum Op : std::uint8_t {
  kDrop,      // never delivered
  kRepeat,    // delivered twice
  kCut,       // cut to tail[0] bytes (none without a tail)
  kFlip,      // for each tail triple (offset, 2 bytes little-endian; mask): byte offset % size ^= mask
  kReplace,   // the tail instead
  kBefore,    // the tail delivered just before it
  kAfter,     // the tail delivered just after it, when its command has been answered
  kHold,      // delivered when the (tail[0] % 8 + 1)th later packet comes: before it,
              // or after it if tail[1] is odd; lost if the pen restarts first
  kOpCount
};

struct Edit {
  std::uint32_t packet;
  Op op;
  Bytes tail;
};

struct Held {
  Bytes packet;
  std::uint32_t releasedAt;
  bool afterIt;
};

struct Run {
  std::shared_ptr<virtualpen::VirtualPen> pen;
  std::shared_ptr<virtualpen::PenLink> link;  // the open handle
  FirmwareUpgrader* upgrader = nullptr;
  std::vector<Edit> edits;
  std::vector<Held> held;
  std::uint32_t packets = 0;
  int missedInARow = 0;   // answers dropped or held back since one was delivered
  bool tampered = false;  // some command may have lost its answer
};

Run run;

virtualpen::VirtualBus& Bus() {
  static const auto bus = std::make_shared<virtualpen::VirtualBus>();
  return *bus;
}

HANDLE LinkHandle() { return run.link.get(); }

[[noreturn]] void Finding(const char* what) {
  std::fprintf(stderr, "pen_answers_fuzzer: %s\n", what);
  std::abort();
}

// The receive thread's step for one packet, cut as one receive transfer cuts it.
void Deliver(Bytes packet) {
  if (packet.size() > kPenReceiveBufferSize) packet.resize(kPenReceiveBufferSize);
  // A DFU-mode announcement from a pen that runs its main firmware is a lie about
  // its mode that no check can see through: the upgrade would rightly skip the
  // DFU region. Only the pen itself announces it.
  if (packet.size() >= kPacketHeaderSize && PacketType(packet.data()) == PACKET_DFU_MODE &&
      run.pen->Mode() != virtualpen::PenMode::DfuMode) {
    return;
  }
  DispatchPacket(*run.upgrader, packet.data(), static_cast<std::uint32_t>(packet.size()));
}

// One packet from the pen, edited as the input says.
void Arrive(Bytes packet) {
  const std::uint32_t number = run.packets++;
  const bool answer = packet.size() >= kPacketHeaderSize && PacketType(packet.data()) == PACKET_FLASH_RESPONSE;
  std::vector<Held> after;
  for (auto it = run.held.begin(); it != run.held.end();) {
    if (it->releasedAt != number) {
      ++it;
      continue;
    }
    run.missedInARow = 0;
    if (it->afterIt) {
      after.push_back(std::move(*it));
    } else {
      Deliver(std::move(it->packet));
    }
    it = run.held.erase(it);
  }
  std::vector<Bytes> before, following;
  int copies = 1;
  for (const Edit& edit : run.edits) {
    if (edit.packet != number) continue;
    const Bytes& tail = edit.tail;
    const std::uint32_t later = tail.empty() ? 1 : tail[0] % 8 + 1;
    // What leaves every command its own answer in time: anything before the
    // upgrade starts, a repeat, a missing answer or one an attempt late (unless
    // all attempts' are, counted below: the last attempt's wait is the last),
    // anything after an answer (once it is delivered, below).
    const bool harmless = number == 0 ? edit.op != kHold
                                      : edit.op == kRepeat ||
                                            (answer && (edit.op == kDrop || edit.op == kAfter ||
                                                        (edit.op == kHold && later == 1)));
    if (!harmless) run.tampered = true;
    switch (edit.op) {
      case kDrop: copies = 0; break;
      case kRepeat: copies = copies == 0 ? 0 : copies + 1; break;
      case kCut: packet.resize(std::min<std::size_t>(packet.size(), tail.empty() ? 0 : tail[0])); break;
      case kFlip:
        for (std::size_t i = 0; i + 2 < tail.size() && !packet.empty(); i += 3) {
          packet[(tail[i] | tail[i + 1] << 8) % packet.size()] ^= tail[i + 2];
        }
        break;
      case kReplace: packet = tail; break;
      case kBefore: before.push_back(tail); break;
      case kAfter: following.push_back(tail); break;
      case kHold:
        if (copies > 0) {
          run.held.push_back({packet, number + later, tail.size() > 1 && (tail[1] & 1) != 0});
          copies = 0;
        }
        break;
      default: break;
    }
  }
  if (number != 0 && !following.empty() && copies == 0) run.tampered = true;
  if (answer && copies > 0) run.missedInARow = 0;
  if (answer && copies == 0 && ++run.missedInARow >= kFaAttempts) run.tampered = true;
  for (auto& extra : before) Deliver(std::move(extra));
  for (int i = 0; i < copies; ++i) Deliver(packet);
  for (auto& extra : following) Deliver(std::move(extra));
  for (auto& late : after) Deliver(std::move(late.packet));
}

// Hands over what the pen has ready. With the pen's zero timing, its answer to
// a request is ready as soon as the request is sent.
void Pump() {
  std::uint8_t buffer[kPenReceiveBufferSize];
  std::uint32_t received = 0;
  while (run.link && ReadPenData(LinkHandle(), buffer, &received) == 0) Arrive(Bytes(buffer, buffer + received));
}

std::vector<Edit> ParseEdits(const std::uint8_t* data, std::size_t size) {
  std::vector<Edit> edits;
  std::size_t at = 0;
  while (at + 4 <= size) {
    Edit edit{static_cast<std::uint32_t>(data[at] | data[at + 1] << 8), static_cast<Op>(data[at + 2] % kOpCount), {}};
    const std::size_t length = std::min<std::size_t>(data[at + 3], size - at - 4);
    edit.tail.assign(data + at + 4, data + at + 4 + length);
    at += 4 + length;
    edits.push_back(std::move(edit));
  }
  return edits;
}

// A pen that starts in DFU mode goes straight to the main image: its DFU region stays.
bool PenUpgraded(const Bytes& lowFlash, const Bytes& dfu) {
  const Bytes main(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize);
  return run.pen->ReadFlash(kDfuRegionStart, dfu.size()) == dfu &&
         run.pen->ReadFlash(kMainRegionStart, main.size()) == main &&
         run.pen->ReadFlash(kBootControlAddress, 4) == Bytes{0x00, 0x80, 0x02, 0x80} &&
         run.pen->ReadFlash(0, kBootControlAddress) == lowFlash &&
         run.pen->Mode() == virtualpen::PenMode::MainFirmware;
}

}  // namespace

// A deterministic channel over the pen's link: a send hands its answers to the
// dispatch before it returns; a receive takes a packet that is ready or fails.
std::uint32_t WritePenData(HANDLE handle, const std::uint8_t* data, std::uint32_t count) {
  if (handle == nullptr) return NO_DEVICE_RESULT;
  if (handle != LinkHandle()) return ERROR_INVALID_HANDLE;
  const bool sent = run.link->Send(data, count) == virtualpen::PenLink::Result::Ok;
  Pump();
  return sent ? 0 : ERROR_DEVICE_NOT_CONNECTED;
}

std::uint32_t ReadPenData(HANDLE handle, std::uint8_t* buffer, std::uint32_t* received) {
  *received = 0;
  if (handle == nullptr || handle != LinkHandle()) return ERROR_INVALID_HANDLE;
  std::size_t got = 0;
  const auto result = run.link->Receive(buffer, kPenReceiveBufferSize, &got, std::chrono::seconds(0));
  if (result == virtualpen::PenLink::Result::NotConnected) return ERROR_DEVICE_NOT_CONNECTED;
  if (result != virtualpen::PenLink::Result::Ok) return ERROR_GEN_FAILURE;
  *received = static_cast<std::uint32_t>(got);
  return 0;
}

// The upgrader's host. A restart does the device watch's part before it
// returns: let go of the pen, restart it, and open it again once it is back.
// Progress is the dialog's business, not this target's.
class FuzzHost final : public UpgradeHost {
 public:
  void RestartPen() override {
    run.upgrader->TakePen();
    run.held.clear();
    if (run.link) {
      const std::uint8_t restart = RESTART_BYTE;
      run.link->Send(&restart, 1);
      run.link->Close();
      run.link.reset();
    }
    if (!Bus().WaitUntilIdle(std::chrono::seconds(5)) || !run.pen->IsOnBus()) return;
    run.link = Bus().Open();
    if (!run.link) return;
    Pump();  // the DFU-mode announcement
    run.upgrader->PenBack(LinkHandle(), true);
  }
  void ReportProgress(std::int32_t, std::int32_t) override {}
  void RejectRestartedPen() override {}
};

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return -1;
  afx::SetTimeScale(1e-5);  // a missing answer costs 20 us, a missing pen 150 us

  virtualpen::PenOptions options;
  options.serial = "FUZZ0001";
  options.restartDelayMs = 0;
  options.startInDfuMode = (data[0] & 1) != 0;
  if ((data[0] & 2) != 0) options.differingDfuChunk = virtualpen::kIdenticalDfu;
  run.pen = Bus().PlugNewPen(options);
  const Bytes lowFlash = run.pen->ReadFlash(0, kBootControlAddress);
  const Bytes dfu = options.startInDfuMode ? run.pen->ReadFlash(kDfuRegionStart, EmbeddedDfuImageSize)
                                           : Bytes(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize);
  FirmwareUpgrader upgrader;
  run.upgrader = &upgrader;
  run.edits = ParseEdits(data + 1, size - 1);
  run.link = Bus().Open();
  upgrader.GivePen(LinkHandle());
  Pump();  // what the pen sent as it booted
  bool upgraded = false;
  FuzzHost host;
  try {
    upgrader.Upgrade(host);
    upgraded = true;
  } catch (const UpgradeToolException&) {
  }
  if (upgraded && !PenUpgraded(lowFlash, dfu)) Finding("the upgrade succeeded over wrong flash");
  if (!upgraded && !run.tampered) Finding("the upgrade failed although every command had its answer in time");
  if (run.pen->ReadFlash(0, kBootControlAddress) != lowFlash) Finding("flash below the boot-control word changed");

  if (run.link) run.link->Close();
  Bus().Unplug(run.pen);
  run = Run{};
  return 0;
}
