// Device-interface notifications from the virtual bus to a registered window:
// WM_DEVICECHANGE with a DEV_BROADCAST_DEVICEINTERFACE_A that names the interface.
#include "channel_test_support.h"

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace channel_testing {
namespace {

struct Notification {
  HWND window;
  UINT message;
  WPARAM type;
  DWORD size;
  DWORD deviceType;
  DWORD reserved;
  GUID classGuid;
  std::string name;
};

std::mutex notificationsMutex;
std::vector<Notification> notifications;

std::vector<Notification> Received() {
  std::lock_guard<std::mutex> lock(notificationsMutex);
  return notifications;
}

void Note(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(lParam);
  const char* name =
      reinterpret_cast<const char*>(broadcast) + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);
  std::lock_guard<std::mutex> lock(notificationsMutex);
  notifications.push_back({window, message, wParam, broadcast->dbcc_size, broadcast->dbcc_devicetype,
                           broadcast->dbcc_reserved, broadcast->dbcc_classguid, name});
}

}  // namespace
}  // namespace channel_testing

#ifdef _WIN32
namespace channel_testing {
namespace {

LRESULT CALLBACK RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DEVICECHANGE) {
    Note(window, message, wParam, lParam);
    return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window of this thread; notifications reach it while the test pumps.
HWND MakeWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = RecordingWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "NibflashNotificationTest";
  RegisterClassA(&windowClass);
  return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                         windowClass.hInstance, nullptr);
}

void DestroyTestWindow(HWND window) { DestroyWindow(window); }

void Pump() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
}

}  // namespace
}  // namespace channel_testing
#else
// Natively the headless window backend defines this; the test stands in for it.
LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  channel_testing::Note(window, message, wParam, lParam);
  return TRUE;
}

namespace channel_testing {
namespace {

HWND MakeWindow() {
  static int fakeWindow;
  return reinterpret_cast<HWND>(&fakeWindow);
}
void DestroyTestWindow(HWND) {}
void Pump() {}

}  // namespace
}  // namespace channel_testing
#endif

namespace channel_testing {
namespace {

class Notifications : public VirtualChannel {
 protected:
  void SetUp() override {
    VirtualChannel::SetUp();
    std::lock_guard<std::mutex> lock(notificationsMutex);
    notifications.clear();
    window = MakeWindow();
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    DestroyTestWindow(window);
    VirtualChannel::TearDown();
  }
  bool WaitForNotifications(std::size_t count) {
    return WaitUntil([count] { return Received().size() >= count; }, Pump);
  }

  HWND window = nullptr;
};

bool SameGuid(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }

TEST_F(Notifications, ArrivalAndRemovalReachTheWindowWithTheInterfaceName) {
  HDEVNOTIFY registration = RegisterPenInterfaceNotifications(window);
  ASSERT_NE(registration, nullptr);
  auto pen = bus->PlugNewPen();
  bus->Unplug(pen);
  ASSERT_TRUE(WaitForNotifications(2));
  UnregisterPenInterfaceNotifications(registration);

  const auto received = Received();
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].type, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  EXPECT_EQ(received[1].type, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
  const std::string name = pen->InterfaceName();
  for (const Notification& n : received) {
    EXPECT_EQ(n.window, window);
    EXPECT_EQ(n.message, static_cast<UINT>(WM_DEVICECHANGE));
    EXPECT_EQ(n.deviceType, 5u);
    EXPECT_EQ(n.reserved, 0u);
    EXPECT_TRUE(SameGuid(n.classGuid, GUID_DEVINTERFACE_PEN));
    EXPECT_EQ(n.name, name);
    EXPECT_EQ(n.size, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + name.size() + 1);
  }
}

TEST_F(Notifications, ARestartIsARemovalAndAnArrival) {
  HDEVNOTIFY registration = RegisterPenInterfaceNotifications(window);
  auto pen = bus->PlugNewPen();
  ::testing::internal::CaptureStdout();
  penHandle = OpenPenDriver();
  ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(SendRestartCommand(), 0u);
  ASSERT_TRUE(WaitForNotifications(3));
  UnregisterPenInterfaceNotifications(registration);
  const auto received = Received();
  EXPECT_EQ(received[1].type, static_cast<WPARAM>(DBT_DEVICEREMOVECOMPLETE));
  EXPECT_EQ(received[2].type, static_cast<WPARAM>(DBT_DEVICEARRIVAL));
  ClosePenDriver(penHandle);
}

TEST_F(Notifications, NothingArrivesAfterUnregistering) {
  HDEVNOTIFY registration = RegisterPenInterfaceNotifications(window);
  auto pen = bus->PlugNewPen();
  ASSERT_TRUE(WaitForNotifications(1));
  UnregisterPenInterfaceNotifications(registration);
  bus->Unplug(pen);
  // The bus is idle once the removal was handed to the subscribers there were.
  ASSERT_TRUE(WaitUntil([&] { return bus->WaitUntilIdle(std::chrono::milliseconds(1)); }, Pump));
  Pump();
  EXPECT_EQ(Received().size(), 1u);
}

TEST_F(Notifications, RegistrationNeedsAWindow) {
  EXPECT_EQ(RegisterPenInterfaceNotifications(nullptr), nullptr);
  UnregisterPenInterfaceNotifications(nullptr);
}

}  // namespace
}  // namespace channel_testing
