// Pens coming and going while the dialog is idle or has finished.
#include <algorithm>
#include <cctype>
#include <cstring>

#include "tool/device_watch.h"
#include "tool/tests/dialog_fixture.h"
#include "usb/pen_channel.h"

namespace {

class DeviceWatchTest : public DialogTest {
 protected:
  // A removal notification as the system would send it, for any interface name.
  void SendRemoval(const std::string& name) {
    std::vector<char> storage(sizeof(DEV_BROADCAST_DEVICEINTERFACE_A) + name.size() + 1, 0);
    auto* broadcast = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_A*>(storage.data());
    broadcast->dbcc_size = static_cast<DWORD>(storage.size());
    broadcast->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    broadcast->dbcc_classguid = GUID_DEVINTERFACE_PEN;
    std::memcpy(broadcast->dbcc_name, name.c_str(), name.size() + 1);
    SendMessageA(m_dialog, WM_DEVICECHANGE, DBT_DEVICEREMOVECOMPLETE, reinterpret_cast<LPARAM>(broadcast));
  }
  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  }
};

TEST_F(DeviceWatchTest, PlugAndUnplugWhileIdle) {
  OpenDialog();
  auto pen = PlugPen();
  ASSERT_TRUE(WaitFor([&] { return Status() == "Current SW version: 3.10 - New SW version : 3.18"; }));
  EXPECT_TRUE(StartEnabled());
  Bus()->Unplug(pen);
  ASSERT_TRUE(WaitFor([&] { return Status() == "Current SW version: ----- - New SW version : 3.18"; }));
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(penHandle.load(), nullptr);
  Bus()->Plug(pen);
  EXPECT_TRUE(WaitFor([&] { return StartEnabled(); }));
}

TEST_F(DeviceWatchTest, RemovalMatchesTheOpenPenIgnoringLetterCaseOnly) {
  auto pen = PlugPen();
  OpenDialog();
  ASSERT_TRUE(StartEnabled());
  SendRemoval("\\\\?\\USB#VID_1D50&PID_0204#SOMEOTHERPEN#{a165badf-6e6a-4126-85c1-bfbe09014345}");
  EXPECT_TRUE(StartEnabled());
  SendRemoval(Lower(pen->InterfaceName()));
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(penHandle.load(), nullptr);
}

TEST_F(DeviceWatchTest, ASecondPenArrivingIsIgnored) {
  auto first = PlugPen();
  OpenDialog();
  auto second = PlugPen();
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_TRUE(StartEnabled());
  Bus()->Unplug(second);  // not the open pen: nothing changes
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_TRUE(StartEnabled());
}

TEST_F(DeviceWatchTest, AForeignPenArrivingIsClosedAgain) {
  OpenDialog();
  virtualpen::PenOptions foreign;
  foreign.productId = 0x0205;
  PlugPen(foreign);
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(penHandle.load(), nullptr);
}

TEST_F(DeviceWatchTest, StartWithoutASupportedPenShowsTheWrongDeviceBoxOnly) {
  virtualpen::PenOptions foreign;
  foreign.productId = 0x0205;
  auto pen = PlugPen(foreign);
  OpenDialog();
  ASSERT_FALSE(StartEnabled());
  // A click that reaches the handler all the same (the button is disabled).
  ui::PostCommand(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([] { return BoxesWithText(kWrongDeviceText) == 1; }));
  const auto box = ui::MessageBoxHistory().back();
  ASSERT_NE(AfxGetApp(), nullptr);
  EXPECT_EQ(box.caption, AfxGetApp()->m_pszAppName);  // the program's file name
  EXPECT_FALSE(box.caption.empty());
  EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_TRUE(ExitEnabled());
  EXPECT_EQ(pen->RequestCount(), 0u);  // no upgrade started
}

TEST_F(DeviceWatchTest, StoppingTheReceiveThreadTwiceIsHarmless) {
  PlugPen();
  OpenDialog();
  ASSERT_NE(penHandle.load(), nullptr);
  StopReceiveThread();
  StopReceiveThread();
  EXPECT_EQ(penHandle.load(), nullptr);
}

}  // namespace
