#pragma once
// What the channel conformance suite needs of the pens behind a backend. Each
// backend's test program links one implementation: the virtual bus natively
// (virtual_pen_fixture.cpp), the fake kernel driver under Wine (win/fake_pen_fixture.cpp).
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "usb/pen_channel.h"

namespace channel_testing {

using Bytes = std::vector<std::uint8_t>;

// Waits until `done()`, up to a limit that only a broken channel reaches; returns done().
template <typename Done>
bool WaitUntil(Done done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return done();
}

// One WM_DEVICECHANGE as the window got it.
struct DeviceChange {
  WPARAM type = 0;
  DWORD size = 0;
  DWORD deviceType = 0;
  GUID classGuid{};
  std::string name;
};

class PenFixture {
 public:
  // A fixture with no pen; the bus and the channel's state are reset.
  static std::unique_ptr<PenFixture> Make();
  virtual ~PenFixture() = default;

  // Puts a pen on the bus that the channel can open; returns its interface name.
  virtual std::string PlugPen() = 0;
  // Puts a pen on the bus whose interface cannot be opened; returns its name.
  virtual std::string PlugUnopenablePen() = 0;
  // Takes the pen of PlugPen off the bus.
  virtual void UnplugPen() = 0;

  virtual Bytes Descriptor() = 0;  // what the pen of PlugPen reports
  // Makes the pen's descriptor shorter than 18 bytes; false when it cannot be.
  virtual bool ShortenDescriptor() = 0;

  virtual Bytes Request() = 0;  // a message the pen answers
  virtual Bytes Answer() = 0;   // what it sent in answer to the last Request()
  virtual void CutNextAnswer() = 0;  // the pen's next message has no bytes
  // Waits until the answer to a Request() sent is ready for a receive.
  virtual void WaitUntilAnswered() = 0;

  virtual Bytes LastMessageToPen() = 0;  // empty when it got none
  virtual std::size_t WaitingReceives() = 0;

  // Null when the pens of this fixture cannot announce themselves.
  virtual HWND NotificationWindow() = 0;
  // The notifications the window got, once those under way are delivered.
  virtual std::vector<DeviceChange> DeviceChanges() = 0;
};

}  // namespace channel_testing
