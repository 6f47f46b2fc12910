// SendMessage and PostMessage across threads: a message sent from another
// thread runs on the window's thread and its result comes back, also while that
// thread sits in a modal message box; senders keep serving messages sent to
// them; a window or thread that is gone gives 0 instead of a hang.
#include <atomic>
#include <thread>
#include <vector>

#include <cstddef>
#include <cstring>

#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

using CrossThreadSendTest = HeadlessTest;

// What the virtual bus thread sends: an interface arrival with its name.
std::vector<unsigned char> Arrival(const char* name) {
  std::vector<unsigned char> bytes(offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name) + std::strlen(name) + 1);
  DEV_BROADCAST_DEVICEINTERFACE_A header{};
  header.dbcc_size = static_cast<DWORD>(bytes.size());
  header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  std::memcpy(bytes.data(), &header, offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name));
  std::memcpy(bytes.data() + offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name), name, std::strlen(name) + 1);
  return bytes;
}

TEST_F(CrossThreadSendTest, ASentMessageRunsOnTheWindowsThreadAndReturnsItsResult) {
  ScriptedDialog dialog;
  std::thread::id handlerThread;
  std::thread::id uiThread;
  dialog.onInit = [&] { uiThread = std::this_thread::get_id(); };
  dialog.onDeviceChange = [&](UINT, DWORD_PTR) {
    handlerThread = std::this_thread::get_id();
    return 1234;
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 1234);
  EXPECT_EQ(handlerThread, uiThread);
  EXPECT_NE(handlerThread, std::this_thread::get_id());
  ui::PostClose(hwnd);
  result.get();
}

TEST_F(CrossThreadSendTest, DeviceChangesReachTheDialogWhileAMessageBoxIsOpen) {
  ScriptedDialog dialog;
  std::string arrivedName;
  dialog.onStart = [&] { AfxMessageBox("Upgrade failed!", MB_OK | MB_ICONEXCLAMATION); };
  dialog.onDeviceChange = [&](UINT event, DWORD_PTR data) {
    const auto* broadcast = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(data);
    if (event == DBT_DEVICEARRIVAL && broadcast->dbcc_devicetype == DBT_DEVTYP_DEVICEINTERFACE) {
      arrivedName = broadcast->dbcc_name;
    }
    return TRUE;
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ASSERT_TRUE(ui::PostCommand(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitForMessageBox(kWait).has_value());

  LRESULT answer = 0;
  std::thread bus([&] {
    const auto arrival = Arrival("\\\\?\\virtual#pen#1");
    answer = SendMessageA(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, reinterpret_cast<LPARAM>(arrival.data()));
  });
  bus.join();
  EXPECT_EQ(answer, TRUE);
  EXPECT_EQ(arrivedName, "\\\\?\\virtual#pen#1");
  EXPECT_TRUE(ui::CurrentMessageBox().has_value());  // still waiting for the user

  ASSERT_TRUE(ui::AnswerMessageBox(IDOK));
  ui::PostClose(hwnd);
  result.get();
}

TEST_F(CrossThreadSendTest, SendingToAWindowThatIsGoneReturnsZero) {
  ScriptedDialog dialog;
  dialog.onInit = [&] { dialog.EndDialog(IDOK); };
  HWND gone = nullptr;
  dialog.onCreate = [&](LPCREATESTRUCT) {
    gone = dialog.GetSafeHwnd();
    return 0;
  };
  RunModal(dialog).get();
  ASSERT_NE(gone, nullptr);
  EXPECT_EQ(SendMessageA(gone, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, 0), 0);
  EXPECT_FALSE(PostMessageA(gone, WM_CLOSE, 0, 0));
}

TEST_F(CrossThreadSendTest, ASenderServesMessagesSentBackToIt) {
  // Two UI threads: a handler of the first sends to the second, whose handler
  // sends back to the first while the first is still waiting.
  ScriptedDialog first;
  ScriptedDialog second(IDD_TEST_DIALOG);
  std::atomic<HWND> firstWindow{nullptr};
  std::atomic<HWND> secondWindow{nullptr};
  first.onInit = [&] { firstWindow = first.GetSafeHwnd(); };
  second.onInit = [&] { secondWindow = second.GetSafeHwnd(); };
  first.onDeviceChange = [&](UINT event, DWORD_PTR) -> BOOL {
    if (event == 1) return static_cast<BOOL>(SendMessageA(secondWindow, WM_DEVICECHANGE, 2, 0)) + 1;
    return 100;  // event 3, from the second window's handler
  };
  second.onDeviceChange = [&](UINT, DWORD_PTR) -> BOOL {
    return static_cast<BOOL>(SendMessageA(firstWindow, WM_DEVICECHANGE, 3, 0)) + 10;
  };
  auto firstResult = RunModal(first);
  auto secondResult = RunModal(second);
  ASSERT_TRUE(ui::WaitUntil([&] { return firstWindow != nullptr && secondWindow != nullptr; }, kWait));
  EXPECT_EQ(SendMessageA(firstWindow, WM_DEVICECHANGE, 1, 0), 111);
  ui::PostClose(firstWindow);
  ui::PostClose(secondWindow);
  firstResult.get();
  secondResult.get();
}

TEST_F(CrossThreadSendTest, PostedMessagesFromManyThreadsAllArriveInEachSendersOrder) {
  ScriptedDialog dialog;
  std::vector<std::pair<int, int>> received;  // UI thread only until the dialog ends
  dialog.onDeviceChange = [&](UINT sender, DWORD_PTR sequence) {
    received.emplace_back(static_cast<int>(sender), static_cast<int>(sequence));
    if (received.size() == 4 * 250) dialog.EndDialog(IDOK);
    return TRUE;
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  std::vector<std::thread> senders;
  for (int sender = 0; sender < 4; ++sender) {
    senders.emplace_back([hwnd, sender] {
      for (int sequence = 0; sequence < 250; ++sequence) PostMessageA(hwnd, WM_DEVICECHANGE, sender, sequence);
    });
  }
  for (auto& sender : senders) sender.join();
  EXPECT_EQ(result.get(), IDOK);
  std::vector<int> next(4, 0);
  for (const auto& [sender, sequence] : received) EXPECT_EQ(sequence, next[sender]++);
}

}  // namespace
}  // namespace afx_test
