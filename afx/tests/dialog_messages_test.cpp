// How a dialog gets its messages: each map entry's thunk cracks its message for
// the handler and returns the handler's result; commands no window handles reach
// the application; message boxes and nested dialogs run modal loops of their own
// that serve timers, posted and sent messages while their owner is disabled.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/automation.h"
#include "afx/tests/test_dialogs.h"
#include "afx/time_scale.h"

namespace {

namespace ui = afx::automation;
constexpr ui::Millis kWait{60000};  // a safety limit only: conditions end the waits

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_TEST_DIALOG) {}
  std::function<void()> onInit, onStart;
  std::function<void(UINT_PTR)> onTimer;

  std::future<INT_PTR> Run() {
    return std::async(std::launch::async, [this] { return DoModal(); });
  }
  std::vector<std::string> Log() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_log;
  }
  int Count(const std::string& entry) const {
    const auto log = Log();
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }

 protected:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.push_back(std::move(entry));
  }
  static std::string Text(UINT_PTR value) { return ":" + std::to_string(value); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    Add("init");
    if (onInit) onInit();
    return TRUE;
  }
  afx_msg int OnCreate(LPCREATESTRUCT create) {
    Add(std::string("create:") + create->lpszName + (GetDlgItem(IDOK) == nullptr ? ":no controls" : ":controls"));
    return CDialog::OnCreate(create);
  }
  afx_msg void OnPaint() {
    Add("paint");
    CPaintDC dc(this);
  }
  afx_msg HCURSOR OnQueryDragIcon() {
    Add("querydragicon");
    return reinterpret_cast<HCURSOR>(0x5678);
  }
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    Add("devicechange" + Text(nEventType) + Text(dwData));
    return 7;
  }
  afx_msg void OnTimer(UINT_PTR nIDEvent) {
    Add("timer" + Text(nIDEvent));
    if (onTimer) onTimer(nIDEvent);
  }
  afx_msg BOOL OnEraseBkgnd(CDC* pDC) {
    Add("erase" + Text(reinterpret_cast<UINT_PTR>(pDC->GetSafeHdc())));
    return 9;
  }
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam) { Add("syscommand" + Text(nID) + Text(lParam)); }
  afx_msg void OnBnClickedStart() {
    Add("start");
    if (onStart) onStart();
  }
  afx_msg void OnBnClickedOther() { Add("other"); }
  DECLARE_MESSAGE_MAP()

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_log;
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
  ON_WM_CREATE()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_DEVICECHANGE()
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_WM_SYSCOMMAND()
  ON_BN_CLICKED(IDC_T_START, &TestDialog::OnBnClickedStart)
  ON_BN_CLICKED(IDC_T_OTHER, &TestDialog::OnBnClickedOther)
END_MESSAGE_MAP()

// The newest dialog up for the user once it is not `previous`.
HWND WaitForNewDialog(HWND previous = nullptr) {
  HWND found = nullptr;
  EXPECT_TRUE(ui::WaitUntil([&] { return (found = ui::FindDialog()) != nullptr && found != previous; }, kWait));
  return found;
}

class TestApp : public CWinApp {
 public:
  int helpCommands = 0;  // UI thread only
  afx_msg void OnHelpCommand() { ++helpCommands; }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(TestApp, CWinApp)
  ON_COMMAND(ID_HELP, &TestApp::OnHelpCommand)
END_MESSAGE_MAP()
TestApp theApp;

TEST(MessageMap, EachEntryCracksItsMessageAndReturnsTheHandlersResult) {
  TestDialog dialog;
  auto result = dialog.Run();
  const HWND hwnd = WaitForNewDialog();
  // Created before its controls, with the template's caption; erased as it shows, then painted.
  EXPECT_TRUE(ui::WaitUntil([&] { return dialog.Count("paint") == 1; }, kWait));
  auto shown = dialog.Log();
  EXPECT_EQ(shown.size(), 4u);  // no ASSERT: the dialog must close
  shown.resize(4);
  EXPECT_EQ(shown[0], "create:Template Caption:no controls");
  EXPECT_EQ(shown[1], "init");
  EXPECT_EQ(shown[2].rfind("erase:", 0), 0u);
  EXPECT_EQ(shown[3], "paint");

  const struct {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    const char* logged;  // null: no handler runs
    LRESULT result;
  } cases[] = {
      {WM_DEVICECHANGE, 0x8004, 0xABCD, "devicechange:32772:43981", 7},
      {WM_SYSCOMMAND, 0xF010, 77, "syscommand:61456:77", 0},
      {WM_TIMER, 5, 9, "timer:5", 0},
      {WM_QUERYDRAGICON, 3, 4, "querydragicon", 0x5678},
      {WM_ERASEBKGND, 0x4321, 6, "erase:17185", 9},
      {WM_COMMAND, MAKEWPARAM(IDC_T_START, BN_CLICKED), 0, "start", 0},
      {WM_COMMAND, MAKEWPARAM(IDC_T_OTHER, BN_CLICKED), 0, "other", 0},  // disabled, yet reached by a command
      {WM_COMMAND, MAKEWPARAM(IDC_T_START, 1), 0, nullptr, 0},         // another notification
      {WM_COMMAND, MAKEWPARAM(IDC_T_HIDDEN, BN_CLICKED), 0, nullptr, 0},  // no entry
      {WM_USER + 5, 1, 2, nullptr, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.logged != nullptr ? c.logged : "unhandled");
    const auto before = dialog.Log();
    EXPECT_EQ(SendMessageA(hwnd, c.message, c.wParam, c.lParam), c.result);  // runs on the dialog's thread
    const auto after = dialog.Log();
    EXPECT_EQ(after.size(), before.size() + (c.logged != nullptr ? 1 : 0));
    if (c.logged != nullptr) {
      EXPECT_EQ(after.back(), c.logged);
    }
  }

  // Commands no window handles go to the application.
  ASSERT_TRUE(ui::PostCommand(hwnd, ID_HELP, CN_COMMAND));
  ASSERT_TRUE(ui::PostCommand(hwnd, IDC_T_START));  // a marker behind it in the queue
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.Count("start") >= 2; }, kWait));
  ASSERT_TRUE(ui::ClickButton(hwnd, IDOK));
  EXPECT_EQ(result.get(), IDOK);
  EXPECT_EQ(theApp.helpCommands, 1);
  EXPECT_STREQ(theApp.m_pszAppName, "afx_dialog_messages_test");  // the executable's name
}

// The focus starts on the first tab stop and follows clicks; a disabled control
// loses it. Enter clicks the default button, never a merely focused one, and
// nothing while the default button is disabled.
TEST(DialogManager, EnterClicksTheDefaultButtonWhereverTheFocusIs) {
  TestDialog dialog;
  dialog.onStart = [&] {  // the first time, as the tool starts an upgrade
    dialog.GetDlgItem(IDOK)->EnableWindow(dialog.Count("start") > 1);
    dialog.GetDlgItem(IDC_T_START)->EnableWindow(dialog.Count("start") > 1);
  };
  auto result = dialog.Run();
  const HWND hwnd = WaitForNewDialog();
  EXPECT_EQ(ui::GetFocusedControl(hwnd), IDOK);
  ASSERT_TRUE(ui::ClickButton(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.Count("start") == 1; }, kWait));
  EXPECT_EQ(ui::GetFocusedControl(hwnd), 0);
  ASSERT_TRUE(ui::PressEnter(hwnd));
  ASSERT_TRUE(ui::PostCommand(hwnd, IDC_T_OTHER));  // a marker behind the key
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.Count("other") == 1; }, kWait));
  EXPECT_EQ(ui::FindDialog(), hwnd);
  EnableWindow(GetDlgItem(hwnd, IDC_T_START), TRUE);
  EnableWindow(GetDlgItem(hwnd, IDOK), TRUE);
  ASSERT_TRUE(ui::ClickButton(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.Count("start") == 2; }, kWait));
  EXPECT_EQ(ui::GetFocusedControl(hwnd), IDC_T_START);
  ASSERT_TRUE(ui::PressEnter(hwnd));
  EXPECT_EQ(result.get(), IDOK);
  EXPECT_EQ(dialog.Count("start"), 2);
}

class ModalLoop : public ::testing::Test {
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

TEST_F(ModalLoop, AMessageBoxServesTimersAndSentMessagesUntilAnswered) {
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
  dialog.onStart = [&] { boxResult = AfxMessageBox("Continue?", MB_OKCANCEL | MB_ICONEXCLAMATION); };
  auto result = dialog.Run();
  const HWND hwnd = WaitForNewDialog();
  ASSERT_TRUE(ui::ClickButton(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return asked > 0; }, kWait));
  EXPECT_FALSE(ui::GetDialogState(hwnd)->enabled);
  EXPECT_EQ(ui::GetFocusedControl(hwnd), 0);  // the box has it
  EXPECT_FALSE(ui::ClickButton(hwnd, IDOK));  // the user cannot reach the dialog meanwhile
  EXPECT_FALSE(ui::PressEscape(hwnd));
  const int ticks = dialog.Count("timer:3");
  EXPECT_TRUE(ui::WaitUntil([&] { return dialog.Count("timer:3") >= ticks + 2; }, kWait));
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, 1, 2), 7);
  EXPECT_EQ(boxResult, 0);

  answer = IDCANCEL;  // taken at the next tick
  ASSERT_TRUE(ui::WaitUntil([&] { return boxResult == IDCANCEL; }, kWait));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::GetDialogState(hwnd)->enabled; }, kWait));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::GetFocusedControl(hwnd) == IDC_T_START; }, kWait));  // back where it was
  const auto history = ui::MessageBoxHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].owner, hwnd);
  EXPECT_EQ(history[0].caption, "afx_dialog_messages_test");
  EXPECT_EQ(history[0].text, "Continue?");
  EXPECT_EQ(history[0].type, static_cast<UINT>(MB_OKCANCEL | MB_ICONEXCLAMATION));
  EXPECT_EQ(history[0].result, IDCANCEL);
  ASSERT_TRUE(ui::PressEscape(hwnd));
  EXPECT_EQ(result.get(), IDCANCEL);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);  // the main window's end clears it
}

TEST_F(ModalLoop, EndDialogFromInsideABoxEndsTheNestedDialogAfterTheBox) {
  TestDialog main;
  TestDialog nested;  // no parent: modal over the main window
  std::atomic<INT_PTR> nestedResult{0};
  std::atomic<bool> answer{false};
  std::atomic<int> asked{0};
  ui::SetMessageBoxHandler([&](const ui::MessageBoxInfo&) {
    ++asked;
    return answer ? IDOK : IDCANCEL;  // the box has no Cancel button: no answer
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
  // Ended: hidden, and its owner given back at once, while the box is still up.
  EXPECT_FALSE(ui::GetDialogState(nestedWindow)->visible);
  EXPECT_TRUE(ui::GetDialogState(mainWindow)->enabled);
  EXPECT_EQ(ui::FindDialog(), mainWindow);
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

TEST_F(ModalLoop, TimersTickAtTheScaledPeriodWithTheirIdsUntilKilled) {
  afx::SetTimeScale(1e-4);  // 10 s -> 1 ms, 1000 s -> 100 ms (unscaled, they would never tick)
  TestDialog dialog;
  const auto set = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration threeFastTicks{}, twoSlowTicks{};
  dialog.onInit = [&] {
    dialog.SetTimer(1, 10000, nullptr);
    dialog.SetTimer(2, 1000000, nullptr);
  };
  dialog.onTimer = [&](UINT_PTR id) {
    if (id == 1 && dialog.Count("timer:1") == 3) {
      threeFastTicks = std::chrono::steady_clock::now() - set;
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
  EXPECT_GE(threeFastTicks, std::chrono::milliseconds(3 * 10));  // no timer ticks faster than every 10 ms
  EXPECT_GE(twoSlowTicks, std::chrono::milliseconds(2 * 100));  // nor faster than its scaled period
}

}  // namespace
