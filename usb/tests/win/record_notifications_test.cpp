// With a record on, the Win32 channel records the arrivals and removals its window
// is sent before the window's own handler sees them, and lets go of the window
// when the registration ends.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "usb/pen_channel.h"
#include "usb/traffic_record.h"

namespace {

int handled = 0;
LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM type, LPARAM data) {
  if (message == WM_DEVICECHANGE) ++handled;
  return DefWindowProcA(window, message, type, data);
}

void Notify(HWND window, WPARAM type, const char* name) {
  union {
    DEV_BROADCAST_DEVICEINTERFACE_A broadcast;
    char space[sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + MAX_PATH];
  } message{};
  message.broadcast.dbcc_size = sizeof(message);
  message.broadcast.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  message.broadcast.dbcc_classguid = GUID_DEVINTERFACE_PEN;
  std::strcpy(message.broadcast.dbcc_name, name);
  SendMessageA(window, WM_DEVICECHANGE, type, reinterpret_cast<LPARAM>(&message));
}

TEST(RecordedNotifications, ArrivalAndRemovalArePlugAndUnplug) {
  const std::string path = ::testing::TempDir() + "notifications.jsonl";
  ASSERT_TRUE(RecordPenTraffic(path.c_str()));
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &CountingProc;
  windowClass.lpszClassName = "NibflashRecordedWindow";
  windowClass.hInstance = GetModuleHandleA(nullptr);
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                windowClass.hInstance, nullptr);
  HDEVNOTIFY notification = RegisterPenInterfaceNotifications(window);
  ASSERT_NE(notification, nullptr);
  const std::string name = R"(\\?\USB#VID_1D50&PID_0204#PEN42#{a165badf-6e6a-4126-85c1-bfbe09014345})";
  Notify(window, DBT_DEVICEARRIVAL, name.c_str());
  Notify(window, DBT_DEVICEREMOVECOMPLETE, name.c_str());
  EXPECT_EQ(handled, 2);
  UnregisterPenInterfaceNotifications(notification);
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrA(window, GWLP_WNDPROC)), &CountingProc);
  Notify(window, DBT_DEVICEARRIVAL, name.c_str());  // no longer recorded
  DestroyWindow(window);

  std::stringstream text;
  text << std::ifstream(path).rdbuf();
  const std::string record = text.str();
  const auto plug = record.find(R"("event":"plug","pen":"PEN42","interface":)" + pen_channel::JsonString(name) + "}");
  const auto unplug = record.find(R"("event":"unplug","pen":"PEN42"})");
  EXPECT_NE(plug, std::string::npos) << record;
  EXPECT_NE(unplug, std::string::npos) << record;
  EXPECT_LT(plug, unplug);
  EXPECT_EQ(record.find("plug", unplug + 20), std::string::npos) << record;
}

}  // namespace
