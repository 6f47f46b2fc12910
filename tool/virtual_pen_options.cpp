#include "tool/virtual_pen_options.h"

#include <cstdlib>
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
    "                           command, address, size, checksum, truncate (to V bytes), unplug\n"
    "  --restart-fault KIND@N   at the Nth restart: never-back, no-dfu, foreign\n"
    "  --record FILE            write every packet on the bus to FILE as JSON Lines\n";

namespace {

bool ParseNumber(const std::string& text, unsigned long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  value = std::strtoul(text.c_str(), &end, 0);
  return *end == '\0';
}

// "KIND@N=V" into its parts; "=V" is optional.
bool SplitFault(const std::string& text, std::string& kind, unsigned long& number, unsigned long& value) {
  const auto at = text.find('@');
  if (at == std::string::npos) return false;
  kind = text.substr(0, at);
  const auto equals = text.find('=', at);
  value = 0;
  if (equals != std::string::npos && !ParseNumber(text.substr(equals + 1), value)) return false;
  return ParseNumber(text.substr(at + 1, equals == std::string::npos ? std::string::npos : equals - at - 1), number) &&
         number > 0;
}

bool ParseRequestFault(const std::string& text, RequestFault& fault) {
  static const std::map<std::string, RequestFaultKind> kinds = {
      {"drop", RequestFaultKind::DropResponse},       {"delay", RequestFaultKind::DelayResponse},
      {"duplicate", RequestFaultKind::DuplicateResponse}, {"status", RequestFaultKind::CorruptStatus},
      {"command", RequestFaultKind::CorruptCommand},  {"address", RequestFaultKind::CorruptAddress},
      {"size", RequestFaultKind::CorruptSize},        {"checksum", RequestFaultKind::CorruptChecksum},
      {"truncate", RequestFaultKind::TruncateResponse}, {"unplug", RequestFaultKind::UnplugAtRequest}};
  std::string kind;
  unsigned long number = 0;
  unsigned long value = 0;
  if (!SplitFault(text, kind, number, value) || kinds.count(kind) == 0) return false;
  fault.kind = kinds.at(kind);
  fault.request = static_cast<std::uint32_t>(number);
  fault.value = static_cast<std::uint32_t>(value);
  return true;
}

bool ParseRestartFault(const std::string& text, RestartFault& fault) {
  static const std::map<std::string, RestartFaultKind> kinds = {{"never-back", RestartFaultKind::NeverReturn},
                                                                {"no-dfu", RestartFaultKind::NoDfuAnnouncement},
                                                                {"foreign", RestartFaultKind::ForeignProduct}};
  std::string kind;
  unsigned long number = 0;
  unsigned long value = 0;
  if (!SplitFault(text, kind, number, value) || kinds.count(kind) == 0) return false;
  fault.kind = kinds.at(kind);
  fault.restart = static_cast<std::uint32_t>(number);
  return true;
}

bool ParseVersion(const std::string& text, std::uint8_t& major, std::uint8_t& minor) {
  const auto dot = text.find('.');
  unsigned long high = 0;
  if (dot == std::string::npos || !ParseNumber(text.substr(0, dot), high) || high > 255) return false;
  const std::string low = text.substr(dot + 1);
  char* end = nullptr;
  const unsigned long lowValue = std::strtoul(low.c_str(), &end, 16);  // shown as hex digits: 3.18 is 0x18
  if (low.empty() || *end != '\0' || lowValue > 255) return false;
  major = static_cast<std::uint8_t>(high);
  minor = static_cast<std::uint8_t>(lowValue);
  return true;
}

}  // namespace

bool ParseVirtualPenOptions(int argc, char** argv, VirtualPenSetup& setup, std::vector<std::string>& rest,
                            std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    const auto value = [&]() -> std::string { return hasValue ? argv[++i] : std::string(); };
    unsigned long number = 0;
    if (option == "--pens" && hasValue && ParseNumber(value(), number) && number <= 16) {
      setup.pens = static_cast<int>(number);
    } else if (option == "--product" && hasValue && ParseNumber(value(), number) && number <= 0xFFFF) {
      setup.first.productId = static_cast<std::uint16_t>(number);
    } else if (option == "--dfu") {
      setup.first.startInDfuMode = true;
    } else if (option == "--function-button") {
      setup.holdFunctionButton = true;
    } else if (option == "--main-version" && hasValue &&
               ParseVersion(value(), setup.first.mainMajor, setup.first.mainMinor)) {
    } else if (option == "--same-dfu") {
      setup.first.differingDfuChunk = virtualpen::kIdenticalDfu;
    } else if (option == "--timing" && hasValue) {
      const std::string timing = value();
      if (timing != "realistic" && timing != "zero") {
        error = "bad timing: " + timing;
        return false;
      }
      setup.first.timing = timing == "zero" ? virtualpen::PenTiming{} : virtualpen::kRealisticTiming;
    } else if (option == "--restart-delay" && hasValue && ParseNumber(value(), number)) {
      setup.first.restartDelayMs = static_cast<std::uint32_t>(number);
    } else if (option == "--fault" && hasValue) {
      RequestFault fault;
      const std::string text = value();
      if (!ParseRequestFault(text, fault)) {
        error = "bad fault: " + text;
        return false;
      }
      setup.requestFaults.push_back(fault);
    } else if (option == "--restart-fault" && hasValue) {
      RestartFault fault;
      const std::string text = value();
      if (!ParseRestartFault(text, fault)) {
        error = "bad restart fault: " + text;
        return false;
      }
      setup.restartFaults.push_back(fault);
    } else if (option == "--record" && hasValue) {
      setup.recordPath = value();
    } else if (option.rfind("--", 0) == 0 &&
               (option == "--pens" || option == "--product" || option == "--main-version" || option == "--timing" ||
                option == "--restart-delay" || option == "--record" || option == "--fault" ||
                option == "--restart-fault")) {
      error = "bad or missing value for " + option;
      return false;
    } else {
      rest.push_back(option);
    }
  }
  return true;
}

bool ApplyVirtualPenSetup(const VirtualPenSetup& setup, std::string& error,
                          std::vector<std::shared_ptr<virtualpen::VirtualPen>>* pens) {
  auto bus = virtualpen::VirtualBus::Instance();
  if (!setup.recordPath.empty() && !bus->StartRecord(setup.recordPath)) {
    error = "cannot write the traffic record " + setup.recordPath;
    return false;
  }
  for (int i = 0; i < setup.pens; ++i) {
    auto pen = std::make_shared<virtualpen::VirtualPen>(i == 0 ? setup.first : virtualpen::PenOptions{});
    if (i == 0) {
      for (const auto& fault : setup.requestFaults) pen->AddFault(fault);
      for (const auto& fault : setup.restartFaults) pen->AddFault(fault);
    }
    bus->Plug(pen, i == 0 && setup.holdFunctionButton);
    if (pens != nullptr) pens->push_back(pen);
  }
  return true;
}
