#pragma once
// The pens behind a backend, as the conformance suite drives them: virtual ones natively
// (virtualpen/tests/virtual_pen_fixture.cpp), the fake kernel driver under Wine (win/fake_pen_fixture.cpp).
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "testing/wait_until.h"
#include "usb/pen_channel.h"

namespace channel_testing {

using Bytes = std::vector<std::uint8_t>;

using testing_support::WaitUntil;

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
  static std::unique_ptr<PenFixture> Make();
  virtual ~PenFixture() = default;

  virtual std::string PlugPen() = 0;            // one the channel can open; its interface name
  virtual std::string PlugUnopenablePen() = 0;  // one whose interface cannot be opened
  virtual void UnplugPen() = 0;                 // the one of PlugPen
  virtual Bytes Descriptor() = 0;
  virtual bool ShortenDescriptor() = 0;  // below 18 bytes; false when it cannot be
  virtual Bytes Request() = 0;           // a message the pen answers
  virtual Bytes Answer() = 0;            // its answer to the last Request()
  virtual void CutNextAnswer() = 0;      // the pen's next message has no bytes
  virtual void WaitUntilAnswered() = 0;  // until a receive would find the answer
  virtual Bytes LastMessageToPen() = 0;  // empty when it got none
  virtual std::size_t WaitingReceives() = 0;
  enum class Held { Send, Descriptor };
  // The driver keeps the next such request pending until the pen is unplugged;
  // `cancellable`: it ends it when it is cancelled.
  virtual void HoldNextRequest(Held request, bool cancellable) = 0;
  virtual std::size_t HeldRequests() = 0;  // pending in the driver, abandoned ones among them
  virtual HWND NotificationWindow() = 0;  // null when these pens cannot announce themselves
  virtual std::vector<DeviceChange> DeviceChanges() = 0;  // once those under way are delivered
};

}  // namespace channel_testing
