#include "demo/virtual_pen_options.h"

#include <cstdlib>
#include <functional>
#include <map>

#include "virtualpen/virtual_bus.h"

using virtualpen::RequestFault;
using virtualpen::RequestFaultKind;
using virtualpen::RestartFault;
using virtualpen::RestartFaultKind;

const char kVirtualPenUsage[] =
    "Virtual pen options:\n"
    "  --pens N                 pens on the bus at start (default 1; 0 for none, 2 or more: none is opened)\n"
    "  --product 0xPPPP         the first pen's USB product id (default 0x0204; another is a foreign pen)\n"
    "  --dfu                    the first pen starts in DFU mode (boot-control sector erased)\n"
    "  --function-button        the first pen is plugged in with its function button held\n"
    "  --main-version M.mm      the first pen's main firmware (default 3.10)\n"
    "  --same-dfu               its DFU region already holds the shipped DFU image\n"
    "  --timing realistic|zero  1 ms per exchange, 25 ms per sector erase, 2 ms per KiB programmed;\n"
    "                           or no time at all (the default)\n"
    "  --restart-delay MS       how long a restarting pen stays off the bus (default 1000)\n"
    "  --fault KIND@N[=V]       a fault at the Nth flash request: drop, delay (V ms), duplicate, status (V),\n"
    "                           command, address, size, checksum, truncate (to V bytes), unplug,\n"
    "                           suspend (the pen leaves as the PC sleeps, back V ms later)\n"
    "  --restart-fault KIND@N   at the Nth restart: never-back, no-dfu, foreign\n"
    "  --swap-pen N             the first pen leaves the bus at its Nth flash request and another 3.10 pen\n"
    "                           is plugged in 500 ms later, while the tool waits for the answer\n"
    "  --second-pen-at-restart K  another 3.10 pen is plugged in 100 ms after the first pen leaves for\n"
    "                           its Kth restart (1 into DFU mode, 2 into the new firmware)\n"
    "  --record FILE            write every packet on the bus to FILE as JSON Lines\n"
    "  --replay FILE            no pens: play the traffic record FILE back, checking every request\n"
    "                           the tool sends against it (the pen options above do not apply)\n";

namespace {

bool ParseNumber(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

// "KIND@N[=V]" with KIND from `kinds` and N at least 1.
template <typename Kind>
bool ParseFault(const std::string& text, const std::map<std::string, Kind>& kinds, Kind& kind,
                std::uint32_t& number, std::uint32_t& value) {
  const auto at = text.find('@');
  if (at == std::string::npos) return false;
  const auto known = kinds.find(text.substr(0, at));
  const auto equals = text.find('=', at);
  unsigned long n = 0;
  unsigned long v = 0;
  if (known == kinds.end() || (equals != std::string::npos && !ParseNumber(text.substr(equals + 1), v)) ||
      !ParseNumber(text.substr(at + 1, equals == std::string::npos ? std::string::npos : equals - at - 1), n) ||
      n == 0) {
    return false;
  }
  kind = known->second;
  number = static_cast<std::uint32_t>(n);
  value = static_cast<std::uint32_t>(v);
  return true;
}

const std::map<std::string, RequestFaultKind> kRequestFaults = {
    {"drop", RequestFaultKind::DropResponse},         {"delay", RequestFaultKind::DelayResponse},
    {"duplicate", RequestFaultKind::DuplicateResponse}, {"status", RequestFaultKind::CorruptStatus},
    {"command", RequestFaultKind::CorruptCommand},    {"address", RequestFaultKind::CorruptAddress},
    {"size", RequestFaultKind::CorruptSize},          {"checksum", RequestFaultKind::CorruptChecksum},
    {"truncate", RequestFaultKind::TruncateResponse}, {"unplug", RequestFaultKind::UnplugAtRequest},
    {"suspend", RequestFaultKind::SuspendAtRequest}};
const std::map<std::string, RestartFaultKind> kRestartFaults = {{"never-back", RestartFaultKind::NeverReturn},
                                                                {"no-dfu", RestartFaultKind::NoDfuAnnouncement},
                                                                {"foreign", RestartFaultKind::ForeignProduct}};

// "M.mm": the minor is shown as hex digits (3.18 is 0x18).
bool ParseVersion(const std::string& text, std::uint8_t& major, std::uint8_t& minor) {
  const auto dot = text.find('.');
  unsigned long high = 0;
  if (dot == std::string::npos || !ParseNumber(text.substr(0, dot), high) || high > 255) return false;
  const std::string low = text.substr(dot + 1);
  char* end = nullptr;
  const unsigned long lowValue = std::strtoul(low.c_str(), &end, 16);
  if (low.empty() || *end != '\0' || lowValue > 255) return false;
  major = static_cast<std::uint8_t>(high);
  minor = static_cast<std::uint8_t>(lowValue);
  return true;
}

struct Option {
  bool takesValue;
  // Applies the option (with its value); false when the value is bad.
  std::function<bool(VirtualPenSetup&, const std::string&)> apply;
};

bool ToUnsigned(const std::string& text, unsigned long limit, unsigned long& number) {
  return ParseNumber(text, number) && number <= limit;
}

const std::map<std::string, Option>& Options() {
  static const std::map<std::string, Option> options = {
      {"--pens", {true, [](VirtualPenSetup& s, const std::string& v) {
         unsigned long n = 0;
         if (!ToUnsigned(v, 16, n)) return false;
         s.pens = static_cast<int>(n);
         return true;
       }}},
      {"--product", {true, [](VirtualPenSetup& s, const std::string& v) {
         unsigned long n = 0;
         if (!ToUnsigned(v, 0xFFFF, n)) return false;
         s.first.productId = static_cast<std::uint16_t>(n);
         return true;
       }}},
      {"--dfu", {false, [](VirtualPenSetup& s, const std::string&) { return s.first.startInDfuMode = true; }}},
      {"--function-button", {false, [](VirtualPenSetup& s, const std::string&) { return s.holdFunctionButton = true; }}},
      {"--main-version", {true, [](VirtualPenSetup& s, const std::string& v) {
         return ParseVersion(v, s.first.mainMajor, s.first.mainMinor);
       }}},
      {"--same-dfu", {false, [](VirtualPenSetup& s, const std::string&) {
         s.first.differingDfuChunk = virtualpen::kIdenticalDfu;
         return true;
       }}},
      {"--timing", {true, [](VirtualPenSetup& s, const std::string& v) {
         if (v != "realistic" && v != "zero") return false;
         s.first.timing = v == "zero" ? virtualpen::PenTiming{} : virtualpen::kRealisticTiming;
         return true;
       }}},
      {"--restart-delay", {true, [](VirtualPenSetup& s, const std::string& v) {
         unsigned long n = 0;
         if (!ToUnsigned(v, 0xFFFFFFFFul, n)) return false;
         s.first.restartDelayMs = static_cast<std::uint32_t>(n);
         return true;
       }}},
      {"--fault", {true, [](VirtualPenSetup& s, const std::string& v) {
         RequestFault fault;
         if (!ParseFault(v, kRequestFaults, fault.kind, fault.request, fault.value)) return false;
         s.requestFaults.push_back(fault);
         return true;
       }}},
      {"--restart-fault", {true, [](VirtualPenSetup& s, const std::string& v) {
         RestartFault fault;
         std::uint32_t unused = 0;
         if (!ParseFault(v, kRestartFaults, fault.kind, fault.restart, unused)) return false;
         s.restartFaults.push_back(fault);
         return true;
       }}},
      {"--swap-pen", {true, [](VirtualPenSetup& s, const std::string& v) {
         unsigned long n = 0;
         if (!ToUnsigned(v, 0xFFFFFFFFul, n) || n == 0) return false;
         s.swapAtRequest = static_cast<std::uint32_t>(n);
         return true;
       }}},
      {"--second-pen-at-restart", {true, [](VirtualPenSetup& s, const std::string& v) {
         unsigned long n = 0;
         if (!ToUnsigned(v, 0xFFFFFFFFul, n) || n == 0) return false;
         s.secondPenAtRestart = static_cast<std::uint32_t>(n);
         return true;
       }}},
      {"--record", {true, [](VirtualPenSetup& s, const std::string& v) {
         s.recordPath = v;
         return !v.empty();
       }}},
      {"--replay", {true, [](VirtualPenSetup& s, const std::string& v) {
         s.replayPath = v;
         return !v.empty();
       }}},
  };
  return options;
}

}  // namespace

bool ParseVirtualPenOptions(int argc, char** argv, VirtualPenSetup& setup, std::vector<std::string>& rest,
                            std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    const auto option = Options().find(name);
    if (option == Options().end()) {
      rest.push_back(name);
      continue;
    }
    if (option->second.takesValue && i + 1 >= argc) {
      error = "missing value for " + name;
      return false;
    }
    const std::string value = option->second.takesValue ? argv[++i] : std::string();
    if (!option->second.apply(setup, value)) {
      error = "bad value for " + name + ": " + value;
      return false;
    }
  }
  return true;
}

bool ApplyVirtualPenSetup(const VirtualPenSetup& setup, std::string& error,
                          std::vector<std::shared_ptr<virtualpen::VirtualPen>>* pens,
                          std::shared_ptr<virtualpen::ReplayedPen>* player) {
  auto bus = virtualpen::VirtualBus::Instance();
  std::shared_ptr<virtualpen::ReplayedPen> replay;
  if (!setup.replayPath.empty() && !(replay = virtualpen::ReplayedPen::Load(setup.replayPath, error))) {
    return false;
  }
  if (!setup.recordPath.empty() && !bus->StartRecord(setup.recordPath)) {
    error = "cannot write the traffic record " + setup.recordPath;
    return false;
  }
  if (replay) {
    bus->Plug(replay);
    if (player != nullptr) *player = replay;
    return true;
  }
  std::shared_ptr<virtualpen::VirtualPen> first;
  for (int i = 0; i < setup.pens; ++i) {
    auto pen = std::make_shared<virtualpen::VirtualPen>(i == 0 ? setup.first : virtualpen::PenOptions{});
    if (i == 0) {
      for (const auto& fault : setup.requestFaults) pen->AddFault(fault);
      for (const auto& fault : setup.restartFaults) pen->AddFault(fault);
      first = pen;
    }
    bus->Plug(pen, i == 0 && setup.holdFunctionButton);
    if (pens != nullptr) pens->push_back(pen);
  }
  if (!first || (setup.swapAtRequest == 0 && setup.secondPenAtRestart == 0)) return true;
  // The other pen: a plain 3.10 pen with a serial number of its own.
  virtualpen::PenOptions options;
  options.identityBlock = virtualpen::IdentityBlockWithSerialNumber(0x2222);
  auto other = std::make_shared<virtualpen::VirtualPen>(options);
  if (setup.swapAtRequest != 0) {
    first->AddFault(RequestFault{RequestFaultKind::UnplugAtRequest, setup.swapAtRequest, 1, 0});
    bus->PlugAfter(other, first, virtualpen::Departure::Unplug, 1, 500);
  } else {
    bus->PlugAfter(other, first, virtualpen::Departure::Restart, static_cast<int>(setup.secondPenAtRestart), 100);
  }
  if (pens != nullptr) pens->push_back(other);
  return true;
}
