// Modal loops: a message box or nested dialog runs a loop of its own in which
// timers, posted and sent messages are handled, and disables its owner until it
// ends; EndDialog ends its own loop with the last result given, also from inside
// a nested loop; timers tick at the scaled period until killed.
#include <chrono>

#include "afx/tests/test_dialog.h"

namespace {

CWinApp theApp;

class ModalLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.001);
    ui::ClearMessageBoxHistory();
  }
  void TearDown() override {
    ui::SetMessageBoxHandler(nullptr);
    afx::SetTimeScale(1.0);
  }
};

TEST_F(ModalLoopTest, AMessageBoxServesTimersAndSentMessagesUntilAnswered) {
  TestDialog dialog;
  std::atomic<int> answer{0};
  std::atomic<int> boxResult{0};
  std::atomic<int> asked{0};
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo&) {
    ++asked;
    return answer.load();
  });
  dialog.onInit = [&] {
    theApp.m_pMainWnd = &dialog;
    dialog.SetTimer(3, 1000, nullptr);
  };
  dialog.onStart = [&] { boxResult = AfxMessageBox("Continue?", MB_OK | MB_ICONEXCLAMATION); };
  auto result = dialog.Run();
  const HWND hwnd = WaitForNewDialog();
  ASSERT_TRUE(ui::ClickButton(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return asked > 0; }, kWait));
  EXPECT_FALSE(ui::GetDialogState(hwnd)->enabled);
  EXPECT_FALSE(ui::ClickButton(hwnd, IDOK));  // the user cannot reach the dialog meanwhile
  EXPECT_FALSE(ui::PressEscape(hwnd));
  const int ticks = dialog.Count("timer:3");
  EXPECT_TRUE(ui::WaitUntil([&] { return dialog.Count("timer:3") >= ticks + 2; }, kWait));
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, 1, 2), 7);
  EXPECT_EQ(boxResult, 0);

  answer = IDCANCEL;  // taken at the next tick
  ASSERT_TRUE(ui::WaitUntil([&] { return boxResult == IDCANCEL; }, kWait));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::GetDialogState(hwnd)->enabled; }, kWait));
  const auto history = ui::MessageBoxHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].owner, hwnd);
  EXPECT_EQ(history[0].caption, "afx_modal_loop_test");
  EXPECT_EQ(history[0].text, "Continue?");
  EXPECT_EQ(history[0].type, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(history[0].result, IDCANCEL);
  ASSERT_TRUE(ui::PressEscape(hwnd));
  EXPECT_EQ(result.get(), IDCANCEL);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);  // the main window's end clears it
}

TEST_F(ModalLoopTest, EndDialogFromInsideABoxEndsTheNestedDialogAfterTheBox) {
  TestDialog main;
  TestDialog nested;  // no parent: modal over the main window
  std::atomic<INT_PTR> nestedResult{0};
  std::atomic<bool> answer{false};
  std::atomic<int> asked{0};
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo&) {
    ++asked;
    return answer ? IDOK : 0;
  });
  main.onInit = [&] { theApp.m_pMainWnd = &main; };
  main.onStart = [&] { nestedResult = nested.DoModal(); };
  nested.onStart = [&] { AfxMessageBox("Upgrade failed!"); };
  nested.onTimer = [&](UINT_PTR) {  // runs in the box's loop
    nested.EndDialog(6);
    nested.EndDialog(8);  // the last call decides
  };
  auto result = main.Run();
  const HWND mainWindow = WaitForNewDialog();
  ASSERT_TRUE(ui::ClickButton(mainWindow, IDC_T_START));
  const HWND nestedWindow = WaitForNewDialog(mainWindow);
  EXPECT_FALSE(ui::GetDialogState(mainWindow)->enabled);
  ASSERT_TRUE(ui::ClickButton(nestedWindow, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return asked > 0; }, kWait));
  ASSERT_TRUE(PostMessageA(nestedWindow, WM_TIMER, 4, 0));
  ASSERT_TRUE(ui::WaitUntil([&] { return nested.Count("timer:4") == 1; }, kWait));
  EXPECT_EQ(nestedResult, 0);  // still in the box
  answer = true;
  ASSERT_TRUE(ui::PostCommand(nestedWindow, IDC_T_HIDDEN));  // wakes the box's loop
  ASSERT_TRUE(ui::WaitUntil([&] { return nestedResult != 0; }, kWait));
  EXPECT_EQ(nestedResult, 8);
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::GetDialogState(mainWindow)->enabled; }, kWait));
  EXPECT_EQ(ui::FindDialog(), mainWindow);
  EXPECT_EQ(SendMessageA(nestedWindow, WM_DEVICECHANGE, 1, 2), 0);  // gone: no hang, no handler
  EXPECT_FALSE(PostMessageA(nestedWindow, WM_CLOSE, 0, 0));
  ASSERT_TRUE(ui::PostClose(mainWindow));
  EXPECT_EQ(result.get(), IDCANCEL);
}

TEST_F(ModalLoopTest, TimersTickAtTheScaledPeriodWithTheirIdsUntilKilled) {
  afx::SetTimeScale(1e-5);  // 100 s -> 1 ms, 1000 s -> 10 ms (unscaled, they would never tick)
  TestDialog dialog;
  const auto set = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration twoSlowTicks{};
  dialog.onInit = [&] {
    dialog.SetTimer(1, 100000, nullptr);
    dialog.SetTimer(2, 1000000, nullptr);
  };
  dialog.onTimer = [&](UINT_PTR id) {
    if (id == 1 && dialog.Count("timer:1") == 3) {
      EXPECT_TRUE(dialog.KillTimer(1));
    }
    // By timer 2's second tick a live timer 1 would have ticked again.
    if (id == 2 && dialog.Count("timer:2") == 2) {
      twoSlowTicks = std::chrono::steady_clock::now() - set;
      dialog.EndDialog(IDOK);
    }
  };
  EXPECT_EQ(dialog.Run().get(), IDOK);
  EXPECT_EQ(dialog.Count("timer:1"), 3);
  EXPECT_GE(twoSlowTicks, std::chrono::milliseconds(2 * 10));  // never faster than the scaled period
}

}  // namespace
