#pragma once
// What the two channel backends share beyond the public header: the diagnostic
// lines. Backends only.
#include <string>

namespace pen_channel {

inline constexpr const char* kNoDeviceInfoSet = "No HDEVINFO available for this GUID\n";
inline constexpr const char* kNoInterfaceData =
    "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n";

// Writes `text` to stdout and flushes it at once.
void Diagnostic(const char* text);

// Writes "Symbolic link is <path>".
void NameInterface(const std::string& path);

// Writes "Upgrade failed: <reason>".
void PrintUpgradeFailure(const char* reason);

}  // namespace pen_channel
