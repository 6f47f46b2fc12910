// The Win32 backend on real windows (run under Wine): a dialog from the test
// template gets OnCreate before its controls exist and before OnInitDialog,
// button clicks and timers reach their handlers, EndDialog's code comes back
// from DoModal, and message boxes carry the program's name.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/tests/test_dialogs.h"
#include "afx/time_scale.h"

namespace {

CWinApp theApp;

class Win32Dialog : public CDialog {
 public:
  Win32Dialog() : CDialog(IDD_TEST_DIALOG) {}
  std::vector<std::string> log;
  std::function<void()> onInit;
  std::function<void(UINT_PTR)> onTimer;
  std::function<void()> onOther;
  CProgressCtrl m_progress;

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_T_PROGRESS, m_progress);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    log.push_back("init");
    if (onInit) onInit();
    return TRUE;
  }
  afx_msg int OnCreate(LPCREATESTRUCT create) {
    const bool noControls = GetDlgItem(IDOK) == nullptr && ::GetWindow(m_hWnd, GW_CHILD) == nullptr;
    log.push_back(std::string("create:") + (noControls ? "no controls" : "controls"));
    return CDialog::OnCreate(create);
  }
  afx_msg void OnTimer(UINT_PTR nIDEvent) {
    log.push_back("timer:" + std::to_string(nIDEvent));
    if (onTimer) onTimer(nIDEvent);
  }
  afx_msg void OnBnClickedOther() {
    log.push_back("other");
    if (onOther) onOther();
  }
  DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(Win32Dialog, CDialog)
  ON_WM_CREATE()
  ON_WM_TIMER()
  ON_BN_CLICKED(IDC_T_OTHER, &Win32Dialog::OnBnClickedOther)
END_MESSAGE_MAP()

class Win32DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    afx::SetTimeScale(0.001);
  }
  void TearDown() override { afx::SetTimeScale(1.0); }
};

TEST_F(Win32DialogTest, CreateRunsBeforeTheControlsExistAndBeforeInitDialog) {
  Win32Dialog dialog;
  dialog.onInit = [&] { dialog.EndDialog(IDOK); };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.log, (std::vector<std::string>{"create:no controls", "init"}));
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST_F(Win32DialogTest, AButtonClickReachesItsHandlerAndEndDialogsCodeComesBack) {
  Win32Dialog dialog;
  dialog.onInit = [&] { ::PostMessage(dialog.GetDlgItem(IDC_T_OTHER)->GetSafeHwnd(), BM_CLICK, 0, 0); };
  dialog.onOther = [&] { dialog.EndDialog(7); };
  EXPECT_EQ(dialog.DoModal(), 7);
  EXPECT_EQ(dialog.log.back(), "other");
}

TEST_F(Win32DialogTest, ATimerFiresUntilKilled) {
  Win32Dialog dialog;
  int ticks = 0;
  dialog.onInit = [&] { dialog.SetTimer(1, 100, nullptr); };
  dialog.onTimer = [&](UINT_PTR id) {
    if (id == 1 && ++ticks == 3) {
      dialog.KillTimer(1);
      dialog.EndDialog(IDOK);
    }
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(ticks, 3);
}

TEST_F(Win32DialogTest, EscapeAndCloseEndWithIdcancel) {
  Win32Dialog escaped;
  escaped.onInit = [&] { escaped.PostMessage(WM_KEYDOWN, VK_ESCAPE); };
  EXPECT_EQ(escaped.DoModal(), IDCANCEL);
  Win32Dialog closed;
  closed.onInit = [&] { closed.PostMessage(WM_CLOSE); };
  EXPECT_EQ(closed.DoModal(), IDCANCEL);
}

TEST_F(Win32DialogTest, ControlsWorkThroughTheirWrappers) {
  Win32Dialog dialog;
  CString status;
  dialog.onInit = [&] {
    dialog.m_progress.SetRange(0, 1000);
    dialog.m_progress.SetPos(457);
    dialog.GetDlgItem(IDC_T_STATUS)->SetWindowText("45%");
    dialog.GetDlgItem(IDC_T_STATUS)->GetWindowText(status);
    dialog.EndDialog(dialog.m_progress.GetPos());
  };
  EXPECT_EQ(dialog.DoModal(), 457);
  EXPECT_EQ(status, "45%");
  EXPECT_EQ(dialog.m_progress.GetSafeHwnd(), nullptr);
}

// Reads and answers the message box that the dialog's thread has open.
struct BoxSeen {
  std::string caption;
  std::string text;
  bool ownerDisabled = false;
};
BOOL CALLBACK AnswerBox(HWND window, LPARAM context) {
  auto* seen = reinterpret_cast<BoxSeen*>(context);
  char className[32] = {};
  ::GetClassNameA(window, className, sizeof className);
  char caption[128] = {};
  ::GetWindowTextA(window, caption, sizeof caption);
  if (std::string(className) != "#32770" || std::string(caption) == "Template Caption") return TRUE;
  seen->caption = caption;
  char text[256] = {};
  ::GetDlgItemTextA(window, 0xFFFF, text, sizeof text);  // the box's message text
  seen->text = text;
  ::PostMessageA(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

TEST_F(Win32DialogTest, AMessageBoxHasTheProgramsNameAndItsOwnerIsDisabled) {
  Win32Dialog dialog;
  BoxSeen seen;
  int answer = 0;
  dialog.onInit = [&] {
    theApp.m_pMainWnd = &dialog;
    dialog.SetTimer(2, 100, nullptr);
    dialog.PostMessage(WM_COMMAND, MAKEWPARAM(IDC_T_OTHER, BN_CLICKED));
  };
  dialog.onOther = [&] {
    answer = AfxMessageBox("Upgrade failed!", MB_OK | MB_ICONEXCLAMATION);
    dialog.EndDialog(IDOK);
  };
  dialog.onTimer = [&](UINT_PTR) {  // the box's own loop keeps the dialog's timer going
    if (!seen.caption.empty()) return;
    seen.ownerDisabled = !dialog.IsWindowEnabled();
    ::EnumThreadWindows(::GetCurrentThreadId(), &AnswerBox, reinterpret_cast<LPARAM>(&seen));
  };
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(answer, IDOK);
  EXPECT_EQ(seen.caption, "afx_win32_dialog_test");
  EXPECT_EQ(seen.text, "Upgrade failed!");
  EXPECT_TRUE(seen.ownerDisabled);
  EXPECT_EQ(theApp.m_pMainWnd, nullptr);
}

}  // namespace
