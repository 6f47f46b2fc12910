#include "virtualpen/pen_faults.h"

#include <algorithm>

namespace virtualpen {
namespace {

std::uint32_t Mask(std::uint32_t value) { return value == 0 ? 1 : value; }

}  // namespace

ResponseEffects ApplyRequestFaults(const std::vector<RequestFault>& faults, FlashResponse& response) {
  ResponseEffects effects;
  for (const RequestFault& fault : faults) {
    switch (fault.kind) {
      case RequestFaultKind::DropResponse:
        effects.drop = true;
        break;
      case RequestFaultKind::DelayResponse:
        effects.delayMs += fault.value;
        break;
      case RequestFaultKind::DuplicateResponse:
        ++effects.copies;
        break;
      case RequestFaultKind::CorruptStatus:
        response.status = static_cast<std::uint8_t>(fault.value);
        break;
      case RequestFaultKind::CorruptCommand:
        response.command ^= static_cast<std::uint8_t>(Mask(fault.value));
        break;
      case RequestFaultKind::CorruptAddress:
        response.address ^= Mask(fault.value);
        break;
      case RequestFaultKind::CorruptSize:
        response.size ^= static_cast<std::uint16_t>(Mask(fault.value));
        break;
      case RequestFaultKind::CorruptChecksum:
        response.checksum ^= Mask(fault.value);
        break;
      case RequestFaultKind::TruncateResponse:
        effects.truncate = true;
        effects.truncateTo = fault.value;
        break;
      case RequestFaultKind::UnplugAtRequest:
      case RequestFaultKind::SuspendAtRequest:
        effects.unplug = true;
        break;
    }
  }
  return effects;
}

void FaultPlan::Add(const RequestFault& fault, std::uint32_t requestsSoFar) {
  if (fault.count == 0) return;
  const std::uint32_t first = requestsSoFar + std::max<std::uint32_t>(fault.request, 1);
  const std::uint32_t room = UINT32_MAX - first;  // a count of "all from now on" must not wrap
  m_requests.push_back({fault, first, first + std::min(fault.count - 1, room)});
}

void FaultPlan::Add(const RestartFault& fault, std::uint32_t restartsSoFar) {
  m_restarts.push_back({fault, restartsSoFar + std::max<std::uint32_t>(fault.restart, 1)});
}

void FaultPlan::Add(const HoldFault& fault, std::uint32_t transfersSoFar) {
  HoldFault scheduled = fault;
  scheduled.number = transfersSoFar + std::max<std::uint32_t>(fault.number, 1);
  m_holds.push_back(scheduled);
}

void FaultPlan::Clear() {
  m_requests.clear();
  m_restarts.clear();
  m_holds.clear();
}

std::vector<RequestFault> FaultPlan::TakeForRequest(std::uint32_t number) {
  std::vector<RequestFault> hits;
  for (const Scheduled& scheduled : m_requests) {
    if (scheduled.first <= number && number <= scheduled.last) hits.push_back(scheduled.fault);
  }
  m_requests.erase(std::remove_if(m_requests.begin(), m_requests.end(),
                                  [number](const Scheduled& s) { return s.last <= number; }),
                   m_requests.end());
  return hits;
}

std::vector<RestartFault> FaultPlan::TakeForRestart(std::uint32_t number) {
  std::vector<RestartFault> hits;
  for (const ScheduledRestart& scheduled : m_restarts) {
    if (scheduled.number == number) hits.push_back(scheduled.fault);
  }
  m_restarts.erase(std::remove_if(m_restarts.begin(), m_restarts.end(),
                                  [number](const ScheduledRestart& s) { return s.number <= number; }),
                   m_restarts.end());
  return hits;
}

std::optional<HoldFault> FaultPlan::TakeForTransfer(HeldTransfer transfer, std::uint32_t number) {
  std::optional<HoldFault> hit;
  for (auto it = m_holds.begin(); it != m_holds.end();) {
    if (it->transfer != transfer || it->number > number) {
      ++it;
      continue;
    }
    if (it->number == number) hit = *it;
    it = m_holds.erase(it);
  }
  return hit;
}

}  // namespace virtualpen
