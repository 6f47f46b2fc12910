#pragma once
// Faults a test can inject into one pen. Requests are the flash-access messages
// the pen receives (the single-byte restart and debug commands are not counted),
// numbered from 1 over the pen's whole life; restarts likewise, and the host's
// sends and descriptor reads for the transfers its driver holds. A fault names its
// request, restart or transfer relative to the moment it is added: 1 is the next one.
#include <cstdint>
#include <optional>
#include <vector>

#include "virtualpen/flash_protocol.h"

namespace virtualpen {

enum class RequestFaultKind {
  DropResponse,       // the request is carried out, its response never sent
  DelayResponse,      // the pen stalls `value` ms before answering (later answers queue behind)
  DuplicateResponse,  // the response is sent twice
  CorruptStatus,      // the status byte becomes `value`
  CorruptCommand,     // the echoed command is XORed with `value` (0 counts as 1)
  CorruptAddress,     // the echoed address is XORed with `value` (0 counts as 1)
  CorruptSize,        // the echoed size is XORed with `value` (0 counts as 1)
  CorruptChecksum,    // a read response's checksum word is XORed with `value` (0 counts as 1)
  TruncateResponse,   // only the first `value` bytes of the packet are sent (0: an empty transfer)
  UnplugAtRequest,    // the pen leaves the bus on receiving the request, without carrying it out
  SuspendAtRequest,   // the same, and it comes back by itself `value` ms later, booted from its flash
                      // (as when the PC sleeps and USB power goes)
};

struct RequestFault {
  RequestFaultKind kind = RequestFaultKind::DropResponse;
  std::uint32_t request = 1;  // the Nth request from now (0 counts as 1)
  std::uint32_t count = 1;    // how many requests in a row, from that one
  std::uint32_t value = 0;    // see the kinds
};

enum class RestartFaultKind {
  NeverReturn,        // the pen leaves the bus and stays away
  NoDfuAnnouncement,  // it comes back in DFU mode without the 0x5001 packet
  ForeignProduct,     // it comes back reporting `productId` (in its descriptor and interface name)
};

struct RestartFault {
  RestartFaultKind kind = RestartFaultKind::NeverReturn;
  std::uint32_t restart = 1;          // the Nth restart from now (0 counts as 1)
  std::uint16_t productId = 0x0205;   // ForeignProduct only
};

// A transfer that the pen's driver keeps pending instead of completing it: the
// pen never sees it, and the host gives up on it at its own limit. With a cancel
// routine the driver ends it when the host cancels it; without one it holds it
// until the pen leaves the bus, and the host abandons it.
enum class HeldTransfer { Send, DescriptorRead };

struct HoldFault {
  HeldTransfer transfer = HeldTransfer::Send;
  std::uint32_t number = 1;  // the Nth transfer of its kind from now (0 counts as 1); every message is a send
  bool cancellable = true;
};

// What the faults of one request do to its response beyond the field corruptions.
struct ResponseEffects {
  bool unplug = false;
  bool drop = false;
  int copies = 1;
  std::uint64_t delayMs = 0;
  bool truncate = false;
  std::uint32_t truncateTo = 0;
};

// Applies the field corruptions of `faults` to `response` and sums up the rest.
ResponseEffects ApplyRequestFaults(const std::vector<RequestFault>& faults, FlashResponse& response);

// The faults still to come for one pen, by absolute request and restart number.
// Not synchronised: VirtualPen guards it.
class FaultPlan {
 public:
  void Add(const RequestFault& fault, std::uint32_t requestsSoFar);
  void Add(const RestartFault& fault, std::uint32_t restartsSoFar);
  void Add(const HoldFault& fault, std::uint32_t transfersSoFar);  // of the fault's kind
  void Clear();

  // The faults that hit request `number`; spent ones are forgotten.
  std::vector<RequestFault> TakeForRequest(std::uint32_t number);
  std::vector<RestartFault> TakeForRestart(std::uint32_t number);
  std::optional<HoldFault> TakeForTransfer(HeldTransfer transfer, std::uint32_t number);

 private:
  struct Scheduled {
    RequestFault fault;
    std::uint32_t first;
    std::uint32_t last;
  };
  struct ScheduledRestart {
    RestartFault fault;
    std::uint32_t number;
  };
  std::vector<Scheduled> m_requests;
  std::vector<ScheduledRestart> m_restarts;
  std::vector<HoldFault> m_holds;  // `number` made absolute
};

}  // namespace virtualpen
