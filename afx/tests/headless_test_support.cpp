#include "afx/tests/headless_test_support.h"

namespace afx_test {

BEGIN_MESSAGE_MAP(ScriptedDialog, CDialog)
  ON_WM_CREATE()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_DEVICECHANGE()
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_WM_SYSCOMMAND()
  ON_BN_CLICKED(IDC_T_START, &ScriptedDialog::OnBnClickedStart)
  ON_BN_CLICKED(IDC_T_OTHER, &ScriptedDialog::OnBnClickedOther)
END_MESSAGE_MAP()

}  // namespace afx_test
