// Message-map dispatch: each entry's thunk gives its handler the message's
// arguments and returns the handler's result to the sender, commands match on
// ID and notification code, and commands no window handles reach the application.
#include "afx/tests/test_dialog.h"

namespace {

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

TEST(MessageMapTest, EachEntryCracksItsMessageAndReturnsTheHandlersResult) {
  TestDialog dialog;
  auto result = dialog.Run();
  const HWND hwnd = WaitForNewDialog();
  // Created before its controls, with the template's caption; painted once shown.
  EXPECT_EQ(dialog.Log().at(0), "create:Template Caption:no controls");
  EXPECT_EQ(dialog.Log().at(1), "init");
  EXPECT_TRUE(ui::WaitUntil([&] { return dialog.Count("paint") == 1 && dialog.Log().size() == 4; }, kWait));
  EXPECT_EQ(dialog.Log().at(3).rfind("erase:", 0), 0u) << "BeginPaint erases with its DC";

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
    EXPECT_EQ(after.size(), before.size() + (c.logged != nullptr ? 1 : 0));  // no ASSERT: the dialog must close
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
  EXPECT_STREQ(theApp.m_pszAppName, "afx_message_map_test");  // the executable's name
}

}  // namespace
