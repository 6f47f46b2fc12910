#pragma once
// The pen's standard 18-byte USB device descriptor.
#include <array>
#include <cstdint>

namespace virtualpen {

using DeviceDescriptor = std::array<std::uint8_t, 18>;

// Vendor-specific class, full-speed control endpoint of 64 bytes, one
// configuration, string indices 1..3 (maker, product, serial).
DeviceDescriptor MakeDeviceDescriptor(std::uint16_t vendorId, std::uint16_t productId,
                                      std::uint16_t bcdDevice);

}  // namespace virtualpen
