#pragma once
// What the two channel backends share beyond the public header: the diagnostic
// lines of discovery and the handling of devicePath. Backends only.
namespace pen_channel {

inline constexpr const char* kNoDeviceInfoSet = "No HDEVINFO available for this GUID\n";
inline constexpr const char* kNoInterfaceData =
    "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n";

// Writes `text` to stdout and flushes it at once.
void Diagnostic(const char* text);

// Writes "Symbolic link is <path>" and makes devicePath a copy of `path`,
// releasing the previous copy.
void NameInterface(const char* path);

}  // namespace pen_channel
