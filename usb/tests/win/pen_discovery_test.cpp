// Finding and opening the pen's interface through the Setup API, and the
// diagnostics that tell why nothing was opened.
#include <gtest/gtest.h>

#include <string>

#include "usb/pen_channel.h"
#include "usb/tests/win/fake_pen.h"

namespace {

class PenDiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!RunningUnderWine()) GTEST_SKIP() << "registers fake devices in Wine's device registry";
    RemoveAllPenDevices();
    ReleaseDevicePath();
  }
  void TearDown() override { ReleaseDevicePath(); }

  // Opens with stdout captured; the handle is closed again at once.
  std::string OpenAndCapture(bool* opened) {
    ::testing::internal::CaptureStdout();
    HANDLE handle = OpenPenDriver();
    std::string text = ::testing::internal::GetCapturedStdout();
    *opened = handle != nullptr;
    ClosePenDriver(handle);
    return text;
  }
};

TEST_F(PenDiscoveryTest, NoPenCountsZeroAndOpensNothing) {
  EXPECT_EQ(CountPenDevices(), 0);
  bool opened = true;
  EXPECT_EQ(OpenAndCapture(&opened),
            "No SP_INTERFACE_DEVICE_DATA available for this GUID instance\n");
  EXPECT_FALSE(opened);
  EXPECT_EQ(devicePath, nullptr);
}

TEST_F(PenDiscoveryTest, EveryPresentDeviceIsCounted) {
  RegisteredPenInterface first("ROOT\\NIBFLASH_FAKE_PEN\\0001");
  RegisteredPenInterface second("ROOT\\NIBFLASH_FAKE_PEN\\0002");
  ASSERT_TRUE(first.ok() && second.ok());
  EXPECT_EQ(CountPenDevices(), 2);
}

TEST_F(PenDiscoveryTest, InterfaceThatCannotBeOpenedIsStillNamed) {
  RegisteredPenInterface pen("ROOT\\NIBFLASH_UNOPENABLE_PEN\\0000");
  ASSERT_TRUE(pen.ok());
  EXPECT_EQ(CountPenDevices(), 1);
  bool opened = true;
  EXPECT_EQ(OpenAndCapture(&opened), "Symbolic link is " + pen.devicePath() + "\n");
  EXPECT_FALSE(opened);
  ASSERT_NE(devicePath, nullptr);
  EXPECT_EQ(devicePath, pen.devicePath());
}

TEST_F(PenDiscoveryTest, OpensTheDriverAndEachOpenReplacesTheName) {
  FakePenDriver driver;
  ASSERT_TRUE(driver.ok()) << driver.error();
  {
    RegisteredPenInterface pen(kFakePenInstance);
    ASSERT_TRUE(pen.ok());
    bool opened = false;
    EXPECT_EQ(OpenAndCapture(&opened), "Symbolic link is " + pen.devicePath() + "\n");
    EXPECT_TRUE(opened);
    ASSERT_NE(devicePath, nullptr);
    EXPECT_EQ(devicePath, pen.devicePath());
  }
  // The open that fails names the new interface, not the one opened before.
  RegisteredPenInterface other("ROOT\\NIBFLASH_UNOPENABLE_PEN\\0000");
  ASSERT_TRUE(other.ok());
  bool opened = true;
  OpenAndCapture(&opened);
  EXPECT_FALSE(opened);
  ASSERT_NE(devicePath, nullptr);
  EXPECT_EQ(devicePath, other.devicePath());
  ReleaseDevicePath();
  EXPECT_EQ(devicePath, nullptr);
}

TEST(PenNotificationTest, WindowIsRegisteredForTheClassAndReleased) {
  // Message-only: needs no display.
  HWND window =
      CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr) << GetLastError();
  HDEVNOTIFY notification = RegisterPenInterfaceNotifications(window);
  EXPECT_NE(notification, nullptr) << GetLastError();
  UnregisterPenInterfaceNotifications(notification);
  UnregisterPenInterfaceNotifications(nullptr);
  DestroyWindow(window);
}

}  // namespace
