// DoModal from start to end: it returns what ended the dialog (OnOK, OnCancel
// from Escape or WM_CLOSE, EndDialog); controls bound with DDX_Control work
// while it runs and are released when it ends; a dialog without a parent is
// modal over the main window.
#include <atomic>

#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

CWinApp theApp;
using ModalDialogTest = HeadlessTest;

// Exit and Enter end with IDOK; Escape and a close request go through OnCancel.
TEST_F(ModalDialogTest, EachWayOutEndsWithItsResult) {
  const struct {
    std::function<bool(HWND)> action;
    INT_PTR result;
  } cases[] = {{[](HWND w) { return ui::ClickButton(w, IDOK); }, IDOK},
               {[](HWND w) { return PostMessageA(w, WM_KEYDOWN, VK_RETURN, 0) != FALSE; }, IDOK},
               {ui::PressEscape, IDCANCEL},
               {ui::PostClose, IDCANCEL}};
  for (const auto& c : cases) {
    ScriptedDialog dialog;
    auto result = RunModal(dialog);
    ASSERT_TRUE(c.action(WaitShown()));
    EXPECT_EQ(result.get(), c.result);
    EXPECT_EQ(dialog.log.Count("cancel"), c.result == IDCANCEL ? 1 : 0);
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    EXPECT_EQ(ui::FindDialog(IDD_TEST_DIALOG), nullptr);
  }
}

TEST_F(ModalDialogTest, AnOverriddenOnCancelCanKeepTheDialogOpen) {
  ScriptedDialog dialog;
  std::atomic<bool> allow{false};
  dialog.allowCancel = [&] { return allow.load(); };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ui::PostClose(hwnd);
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.log.Count("cancel") == 1; }, kWait));
  EXPECT_NE(ui::FindDialog(IDD_TEST_DIALOG), nullptr);
  allow = true;
  ui::PressEscape(hwnd);
  EXPECT_EQ(result.get(), IDCANCEL);
}

TEST_F(ModalDialogTest, EndDialogDuringInitDialogNeverShowsTheDialog) {
  ScriptedDialog dialog;
  std::atomic<bool> shown{false};
  ui::SetObserver([&](const ui::UiEvent& event) {
    if (event.kind == ui::UiEventKind::DialogOpened) shown = true;
  });
  dialog.onInit = [&] { dialog.EndDialog(5); };
  EXPECT_EQ(RunModal(dialog).get(), 5);
  EXPECT_FALSE(shown);
}

TEST_F(ModalDialogTest, TheLastEndDialogDecidesTheResult) {
  ScriptedDialog dialog;
  dialog.onOther = [&] {
    dialog.EndDialog(11);
    dialog.EndDialog(12);
  };
  auto result = RunModal(dialog);
  ui::ClickButton(WaitShown(), IDC_T_OTHER);
  EXPECT_EQ(result.get(), 12);
}

TEST_F(ModalDialogTest, BoundControlsWorkWhileTheDialogRunsAndAreReleasedAfter) {
  ScriptedDialog dialog;
  CWnd* bound = nullptr;
  int previous = -1;
  dialog.onInit = [&] {
    bound = dialog.GetDlgItem(IDC_T_PROGRESS);
    dialog.m_progress.SetRange(0, 1000);
    previous = dialog.m_progress.SetPos(457);
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  EXPECT_EQ(ui::GetProgressRange(hwnd, IDC_T_PROGRESS), std::make_pair(0, 1000));
  EXPECT_EQ(ui::GetProgressPos(hwnd, IDC_T_PROGRESS), 457);
  ui::PostClose(hwnd);
  result.get();
  EXPECT_EQ(bound, &dialog.m_progress);
  EXPECT_EQ(previous, 0);
  EXPECT_EQ(dialog.m_progress.GetSafeHwnd(), nullptr);
  // A second run binds the new window's control, which keeps its position inside its range.
  std::vector<int> positions;
  dialog.onInit = [&] {
    dialog.m_progress.SetRange(0, 1000);
    for (int pos : {5, 1500, -3}) {
      dialog.m_progress.SetPos(pos);
      positions.push_back(dialog.m_progress.GetPos());
    }
    dialog.EndDialog(IDOK);
  };
  EXPECT_EQ(RunModal(dialog).get(), IDOK);
  EXPECT_EQ(positions, (std::vector<int>{5, 1000, 0}));
}

TEST_F(ModalDialogTest, ControlOperationsChangeWhatTheUserSees) {
  ScriptedDialog dialog;
  CString readBack;
  TCHAR buffer[6] = {};
  const HICON icon = AfxGetApp()->LoadIcon(IDR_TEST_ICON);
  ASSERT_NE(icon, nullptr);
  dialog.onInit = [&] {
    dialog.SetIcon(icon, TRUE);
    dialog.SetIcon(icon, FALSE);
    dialog.SetWindowText("Maravel Firmware Upgrade Tool - 3.18");
    dialog.GetDlgItem(IDC_T_START)->EnableWindow(TRUE);
    dialog.GetDlgItem(IDC_T_HIDDEN)->ShowWindow(SW_SHOW);
    dialog.GetDlgItem(IDOK)->EnableWindow(FALSE);
    dialog.GetDlgItem(IDC_T_STATUS)->SetWindowText("Update complete - click Exit");
    dialog.GetDlgItem(IDC_T_STATUS)->GetWindowText(readBack);
    dialog.GetWindowText(buffer, 6);
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  EXPECT_EQ(ui::GetTitle(hwnd), "Maravel Firmware Upgrade Tool - 3.18");
  EXPECT_TRUE(ui::IsControlEnabled(hwnd, IDC_T_START));
  EXPECT_TRUE(ui::IsControlVisible(hwnd, IDC_T_HIDDEN));
  EXPECT_FALSE(ui::IsControlEnabled(hwnd, IDOK));
  EXPECT_FALSE(ui::ClickButton(hwnd, IDOK));
  EXPECT_EQ(ui::GetControlText(hwnd, IDC_T_STATUS), "Update complete - click Exit");
  EXPECT_EQ(ui::GetDialogState(hwnd)->bigIcon, icon);
  EXPECT_EQ(ui::GetDialogState(hwnd)->smallIcon, icon);
  ui::PressEscape(hwnd);
  result.get();
  EXPECT_EQ(readBack, "Update complete - click Exit");
  EXPECT_STREQ(buffer, "Marav");  // cut to the buffer, terminated
}

TEST_F(ModalDialogTest, ADialogWithoutParentIsModalOverTheMainWindow) {
  ScriptedDialog main;
  ScriptedDialog about(IDD_PLAIN_DIALOG);
  CMenu* systemMenu = reinterpret_cast<CMenu*>(1);
  std::atomic<INT_PTR> aboutResult{0};
  main.onInit = [&] {
    theApp.m_pMainWnd = &main;
    systemMenu = main.GetSystemMenu(FALSE);  // no WS_SYSMENU in this template
  };
  main.onOther = [&] { aboutResult = about.DoModal(); };
  about.onInit = [&] {
    CMenu* menu = about.GetSystemMenu(FALSE);
    if (menu != nullptr && menu->GetSafeHmenu() != nullptr) about.log.Add("system menu");
  };
  auto result = RunModal(main);
  const HWND hwnd = WaitShown();
  ui::ClickButton(hwnd, IDC_T_OTHER);
  const HWND aboutWindow = WaitShown(IDD_PLAIN_DIALOG);
  ASSERT_NE(aboutWindow, nullptr);
  EXPECT_FALSE(ui::GetDialogState(hwnd)->enabled);
  EXPECT_EQ(ui::FindDialog(), aboutWindow);  // the newest dialog
  EXPECT_EQ(about.log.Count("system menu"), 1);
  ui::PressEscape(aboutWindow);
  ASSERT_TRUE(ui::WaitUntil([&] { return aboutResult == IDCANCEL; }, kWait));
  EXPECT_TRUE(ui::GetDialogState(hwnd)->enabled);
  ui::ClickButton(hwnd, IDOK);
  EXPECT_EQ(result.get(), IDOK);
  EXPECT_EQ(systemMenu, nullptr);
}

TEST_F(ModalDialogTest, TheMainWindowPointerNeverOutlivesItsDialog) {
  {
    ScriptedDialog missing(IDD_MISSING_DIALOG);  // no window, so no WM_NCDESTROY
    theApp.m_pMainWnd = &missing;
    EXPECT_EQ(missing.DoModal(), -1);
    EXPECT_TRUE(missing.log.Events().empty());
  }
  EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

}  // namespace
}  // namespace afx_test
