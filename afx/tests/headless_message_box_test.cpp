// Message boxes: the application's name as caption (the executable's name when
// none was given), the main window as owner and disabled while the box is open,
// a nested loop that keeps timers running, and answers from the test API or a
// handler.
#include <atomic>

#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

CWinApp theApp;  // given no name, as the programs' application objects

class MessageBoxTest : public HeadlessTest {};

TEST_F(MessageBoxTest, TheCaptionIsTheExecutablesNameWithoutExtension) {
  EXPECT_STREQ(AfxGetApp()->m_pszAppName, "afx_headless_message_box_test");
  ui::SetMessageBoxHandler([](const ui::MessageBoxInfo&) { return IDOK; });
  EXPECT_EQ(AfxMessageBox("This device is not supported.\n", MB_OK | MB_ICONEXCLAMATION), IDOK);
  const auto history = ui::MessageBoxHistory();
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].caption, "afx_headless_message_box_test");
  EXPECT_EQ(history[0].text, "This device is not supported.\n");
  EXPECT_EQ(history[0].type, MB_OK | MB_ICONEXCLAMATION);
  EXPECT_EQ(history[0].result, IDOK);
}

TEST_F(MessageBoxTest, ABoxBlocksItsHandlerUntilAnsweredAndDisablesTheMainWindow) {
  ScriptedDialog dialog;
  std::atomic<int> answer{0};
  dialog.onInit = [&] { theApp.m_pMainWnd = &dialog; };
  dialog.onStart = [&] { answer = AfxMessageBox("Continue?", MB_YESNO); };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ui::PostCommand(hwnd, IDC_T_START);
  const auto box = ui::WaitForMessageBox(kWait);
  ASSERT_TRUE(box.has_value());
  EXPECT_EQ(box->owner, hwnd);
  EXPECT_FALSE(ui::GetDialogState(hwnd)->enabled);
  EXPECT_FALSE(ui::ClickButton(hwnd, IDOK));  // the user cannot reach the dialog meanwhile
  EXPECT_FALSE(ui::PressEscape(hwnd));
  EXPECT_EQ(answer, 0);

  ASSERT_TRUE(ui::AnswerMessageBox(IDNO));
  ASSERT_TRUE(ui::WaitUntil([&] { return answer == IDNO; }, kWait));
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::GetDialogState(hwnd)->enabled; }, kWait));
  EXPECT_FALSE(ui::CurrentMessageBox().has_value());
  EXPECT_FALSE(ui::AnswerMessageBox(IDOK));  // nothing left to answer
  ASSERT_TRUE(ui::ClickButton(hwnd, IDOK));
  EXPECT_EQ(result.get(), IDOK);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);  // the main window's end clears it
}

// A timer keeps ticking in the outer box's loop: it opens the inner box.
TEST_F(MessageBoxTest, NestedBoxesAreAnsweredInnermostFirst) {
  ScriptedDialog dialog;
  std::vector<int> answers;
  dialog.onStart = [&] { answers.push_back(AfxMessageBox("outer")); };
  dialog.onTimer = [&](UINT_PTR) {
    dialog.KillTimer(1);
    answers.push_back(AfxMessageBox("inner"));
  };
  dialog.onOther = [&] { dialog.SetTimer(1, 1, nullptr); };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ui::PostCommand(hwnd, IDC_T_START);
  ASSERT_TRUE(ui::WaitUntil([] { return ui::CurrentMessageBox() && ui::CurrentMessageBox()->text == "outer"; }, kWait));
  ui::PostCommand(hwnd, IDC_T_OTHER);  // a timer opens a second box inside the first's loop
  ASSERT_TRUE(ui::WaitUntil([] { return ui::CurrentMessageBox() && ui::CurrentMessageBox()->text == "inner"; }, kWait));
  ui::AnswerMessageBox(IDCANCEL);
  ASSERT_TRUE(ui::WaitUntil([] { return ui::CurrentMessageBox() && ui::CurrentMessageBox()->text == "outer"; }, kWait));
  ui::AnswerMessageBox(IDOK);
  ui::WaitUntil([] { return !ui::CurrentMessageBox(); }, kWait);
  ui::PostClose(hwnd);
  result.get();
  EXPECT_EQ(answers, (std::vector<int>{IDCANCEL, IDOK}));
}

TEST_F(MessageBoxTest, TheObserverSeesWhatTheDialogShows) {
  EventLog seen;
  ui::SetObserver([&](const ui::UiEvent& e) {
    using Kind = ui::UiEventKind;
    const std::string control = std::to_string(e.controlId) + ":";
    if (e.kind == Kind::DialogOpened) seen.Add("opened:" + e.text);
    if (e.kind == Kind::TextChanged) seen.Add("text:" + control + e.text);
    if (e.kind == Kind::EnabledChanged) seen.Add("enabled:" + control + (e.flag ? "1" : "0"));
    if (e.kind == Kind::ProgressChanged) seen.Add("progress:" + std::to_string(e.value) + "/" + std::to_string(e.high));
    if (e.kind == Kind::MessageBoxOpened) seen.Add("box:" + e.box.text);
    if (e.kind == Kind::MessageBoxClosed) seen.Add("box closed:" + std::to_string(e.box.result));
    if (e.kind == Kind::DialogClosed) seen.Add("closed");
  });
  ui::SetMessageBoxHandler([](const ui::MessageBoxInfo&) { return IDOK; });
  ScriptedDialog dialog;
  dialog.onInit = [&] {
    dialog.SetWindowText("Title");
    dialog.m_progress.SetRange(0, 1000);
    dialog.m_progress.SetPos(457);
  };
  dialog.onStart = [&] {
    dialog.GetDlgItem(IDC_T_START)->EnableWindow(TRUE);
    dialog.SetDlgItemText(IDC_T_STATUS, "45%");
    AfxMessageBox("done");
    dialog.EndDialog(IDOK);
  };
  auto result = RunModal(dialog);
  ui::PostCommand(WaitShown(), IDC_T_START);
  result.get();
  EXPECT_EQ(seen.Events(), (std::vector<std::string>{
                               "text:0:Title", "progress:0/1000", "progress:457/1000", "opened:Title",
                               "enabled:1001:1", "text:1005:45%", "box:done", "box closed:1", "closed"}));
}

}  // namespace
}  // namespace afx_test
