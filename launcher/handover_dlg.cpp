#include "launcher/handover_dlg.h"

#include <shellapi.h>

#include "launcher/tool_launch.h"

CAboutDlg::CAboutDlg() : CDialog(CAboutDlg::IDD) {}

BEGIN_MESSAGE_MAP(CAboutDlg, CDialog)
END_MESSAGE_MAP()

CHandoverDlg::CHandoverDlg(CWnd* pParent) : CDialog(CHandoverDlg::IDD, pParent) {
  m_hIcon = ::LoadIconW(AfxFindResourceHandle(MAKEINTRESOURCE(IDR_MAINFRAME), RT_GROUP_ICON),
                        MAKEINTRESOURCEW(IDR_MAINFRAME));
}

BEGIN_MESSAGE_MAP(CHandoverDlg, CDialog)
  ON_WM_SYSCOMMAND()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_BN_CLICKED(IDOK, &CHandoverDlg::OnBnClickedOk)
  ON_BN_CLICKED(IDC_UPGRADE, &CHandoverDlg::OnBnClickedUpgrade)
END_MESSAGE_MAP()

BOOL CHandoverDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  static_assert((IDM_ABOUTBOX & 0xFFF0) == IDM_ABOUTBOX, "system commands keep the low four bits free");
  static_assert(IDM_ABOUTBOX < 0xF000, "system commands of our own lie below SC_SIZE");
  CMenu* pSysMenu = GetSystemMenu(FALSE);
  if (pSysMenu != nullptr) {
    CString strAboutMenu;
    strAboutMenu.LoadString(IDS_ABOUTBOX);
    if (!strAboutMenu.IsEmpty()) {
      pSysMenu->AppendMenu(MF_SEPARATOR);
      pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
    }
  }

  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  return TRUE;
}

void CHandoverDlg::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
    CAboutDlg dlgAbout;
    dlgAbout.DoModal();
  } else {
    CDialog::OnSysCommand(nID, lParam);
  }
}

void CHandoverDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);

    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    CRect rect;
    GetClientRect(&rect);
    const int x = (rect.Width() - cxIcon + 1) / 2;
    const int y = (rect.Height() - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CHandoverDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

void CHandoverDlg::OnBnClickedOk() { OnOK(); }

void CHandoverDlg::OnBnClickedUpgrade() {
  if (!CloseHostWindows()) return;  // the host is still there: keep the dialog for another try

  HGLOBAL hScratch = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kPathBufferChars * sizeof(wchar_t));
  if (hScratch == nullptr) return;
  auto* modulePath = static_cast<wchar_t*>(::GlobalLock(hScratch));
  if (modulePath == nullptr) {
    ::GlobalFree(hScratch);
    return;
  }
  const DWORD moduleLength = ::GetModuleFileNameW(nullptr, modulePath, kPathBufferChars);
  wchar_t toolPath[kPathBufferChars] = {};
  const bool composed = ComposeToolPath(modulePath, moduleLength, toolPath);
  ::GlobalUnlock(hScratch);
  ::GlobalFree(hScratch);
  // Without a whole path nothing is started, and the dialog stays as after a host
  // that would not close: closing it would pretend the hand-over had happened.
  if (!composed) return;

  // The tool runs on its own: no handle is kept and its start is not waited for.
  ::ShellExecuteW(nullptr, L"open", toolPath, nullptr, nullptr, SW_SHOW);
  OnOK();
}
