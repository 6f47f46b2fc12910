#include "virtualpen/usb_descriptor.h"

namespace virtualpen {

DeviceDescriptor MakeDeviceDescriptor(std::uint16_t vendorId, std::uint16_t productId,
                                      std::uint16_t bcdDevice) {
  auto low = [](std::uint16_t value) { return static_cast<std::uint8_t>(value & 0xFF); };
  auto high = [](std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); };
  return {
      18,                           // bLength
      1,                            // bDescriptorType: DEVICE
      0x00, 0x02,                   // bcdUSB 2.00
      0xFF, 0x00, 0x00,             // class, subclass, protocol: vendor-specific
      64,                           // bMaxPacketSize0
      low(vendorId), high(vendorId),
      low(productId), high(productId),
      low(bcdDevice), high(bcdDevice),
      1, 2, 3,                      // iManufacturer, iProduct, iSerialNumber
      1,                            // bNumConfigurations
  };
}

}  // namespace virtualpen
