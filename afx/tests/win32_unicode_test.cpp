// The Unicode build of the Win32 backend (the launcher's): CString is wide, its
// Format takes wide %s, and texts from the templates and string tables arrive
// as written in the UTF-8 resource script.
#include <gtest/gtest.h>

#include "afx/afxwin.h"
#include "afx/tests/test_dialogs.h"

namespace {

CWinApp theApp;

class UnicodeDialog : public CDialog {
 public:
  UnicodeDialog() : CDialog(IDD_TEST_DIALOG) {}
  CString title;
  CString status;

 protected:
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    GetWindowText(title);
    GetDlgItem(IDC_T_STATUS)->GetWindowText(status);
    EndDialog(IDOK);
    return TRUE;
  }
};

TEST(Win32UnicodeTest, FormatTakesWideStrings) {
  CString path;
  path.Format(L"%s\\Maravel_Firmware_Upgrade_Tool_v3.18.exe", L"C:\\Programme\\Grüße");
  EXPECT_EQ(path, L"C:\\Programme\\Grüße\\Maravel_Firmware_Upgrade_Tool_v3.18.exe");
  CString number;
  number.Format(L"%d%%", 45);
  EXPECT_EQ(number, L"45%");
}

TEST(Win32UnicodeTest, StringsComeFromTheStringTable) {
  CString text;
  EXPECT_TRUE(text.LoadString(IDS_UNICODE));
  EXPECT_EQ(text, L"Grüße");
  EXPECT_FALSE(text.LoadString(IDS_GREETING + 7));
  EXPECT_TRUE(text.IsEmpty());
}

TEST(Win32UnicodeTest, DialogTextsArriveUnchanged) {
  const INITCOMMONCONTROLSEX controls = {sizeof(INITCOMMONCONTROLSEX), ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);
  UnicodeDialog dialog;
  EXPECT_EQ(dialog.DoModal(), IDOK);
  EXPECT_EQ(dialog.title, L"Template Caption");
  EXPECT_EQ(dialog.status, L"Grüße – status");
}

TEST(Win32UnicodeTest, TheApplicationIsNamedAfterTheExecutable) {
  EXPECT_STREQ(AfxGetApp()->m_pszAppName, L"afx_win32_unicode_test");
}

}  // namespace
