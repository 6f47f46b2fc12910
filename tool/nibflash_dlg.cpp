#include "tool/nibflash_dlg.h"

#include <cstdio>

#include "engine/upgrade_tool_exception.h"
#include "tool/resource.h"
#include "usb/pen_channel.h"

namespace {
const char kWrongDeviceText[] =
    "This software is not intended for this device, unable to upgrade your pen scanner.\n";
const char kFailureText[] =
    "Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
    "Connect the pen to USB and restart the upgrade tool.";
const char kRecordIncompleteText[] = "The traffic record is incomplete: it could not be written to %s.";
}  // namespace

BEGIN_MESSAGE_MAP(CNibflashDlg, CDialog)
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_DEVICECHANGE()
  ON_WM_CREATE()
  ON_BN_CLICKED(IDC_START, &CNibflashDlg::OnBnClickedStart)
  ON_BN_CLICKED(IDC_DBG, &CNibflashDlg::OnBnClickedDbg)
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_WM_QUERYENDSESSION()
END_MESSAGE_MAP()

CNibflashDlg::CNibflashDlg() : CDialog(IDD_UPGRADE_DIALOG) {
  m_hIcon = AfxGetApp()->LoadIcon(IDR_APP_ICON);
}

// The pen closed first, so that m_run's thread ends within its own limits.
CNibflashDlg::~CNibflashDlg() { m_watch.StopReceiveThread(); }

int CNibflashDlg::OnCreate(LPCREATESTRUCT lpCreateStruct) {
  if (CDialog::OnCreate(lpCreateStruct) == -1) return -1;
  m_watch.OnCreate(m_hWnd);
  return 0;
}

BOOL CNibflashDlg::OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
  return m_watch.OnDeviceChange(nEventType, dwData);
}

void CNibflashDlg::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
}

BOOL CNibflashDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);
  UpdateDeviceState(m_watch.PenHandle() != nullptr);
  SetStatusText("");
  m_progress.SetRange(0, 1000);
  m_progress.SetPos(m_run.Outcome().permille);
  SetStatusText(VersionLine());
  return TRUE;
}

CString CNibflashDlg::VersionLine() {
  CString line;
  line.Format("Current SW version: %s - New SW version : %s", static_cast<LPCTSTR>(GetDeviceVersionText()),
              m_upgrader.Version());
  return line;
}

void CNibflashDlg::UpdateDeviceState(bool enable) {
  if (m_run.IsRunning()) return;
  if (CWnd* start = GetDlgItem(IDC_START)) start->EnableWindow(enable ? TRUE : FALSE);
  CString title;
  title.Format("%s %s - %s", "Maravel", "Firmware Upgrade Tool", m_upgrader.Version());
  SetWindowText(title);
  SetStatusText(VersionLine());
}

void CNibflashDlg::SetStatusText(LPCTSTR text) {
  if (CWnd* status = GetDlgItem(IDC_STATUS)) status->SetWindowText(text);
}

CString CNibflashDlg::GetDeviceVersionText() {
  char text[16] = "-----";
  std::uint8_t descriptor[kDeviceDescriptorSize];
  if (ReadDeviceDescriptor(m_watch.PenHandle(), descriptor) == 0) {
    const unsigned major = descriptor[13];
    const unsigned minor = descriptor[12];
    if (major > 99) {
      std::snprintf(text, sizeof text, "ERROR");
    } else {
      std::snprintf(text, sizeof text, "%d.%.02x", static_cast<int>(major), minor);
    }
  }
  text[5] = '\0';
  return CString(text);
}

bool CNibflashDlg::IsSupportedPen() {
  std::uint8_t descriptor[kDeviceDescriptorSize];
  if (ReadDeviceDescriptor(m_watch.PenHandle(), descriptor) != 0) return false;
  return (descriptor[10] | (descriptor[11] << 8)) == SUPPORTED_PRODUCT_ID;
}

void CNibflashDlg::OnBnClickedStart() {
  try {
    if (!IsSupportedPen()) {
      AfxMessageBox(kWrongDeviceText, MB_OK | MB_ICONEXCLAMATION);
      return;
    }
    UpdateDeviceState(false);
    if (CWnd* exit = GetDlgItem(IDOK)) exit->EnableWindow(FALSE);
    SetTimer(UPGRADE_TIMER_ID, kUpgradeTimerPeriodMs, nullptr);
    m_watch.BeginUpgrade();
    if (m_run.Start()) m_session.Take(m_hWnd);  // else the next tick reports the failure
  } catch (const UpgradeToolException&) {
    ShowUpgradeFailed();
  }
}

void CNibflashDlg::OnBnClickedDbg() {
  const std::uint8_t debugByte = DEBUG_BYTE;
  WritePenData(m_watch.PenHandle(), &debugByte, 1);
  m_watch.StopReceiveThread();
}

void CNibflashDlg::OnTimer(UINT_PTR) {
  // Read once, so that the state, the text and the bar of one tick agree: the
  // thread stores its last progress before the outcome, so done shows 100%.
  const UpgradeOutcome outcome = m_run.Outcome();
  const bool done = outcome.state == UpgradeOutcome::State::Done;
  const bool failed = outcome.state == UpgradeOutcome::State::Failed;
  if (done || failed) m_session.Release();  // before a box that waits for the user
  if (failed) {
    KillTimer(UPGRADE_TIMER_ID);
    m_watch.EndUpgrade();
    ReportUpgradeFailure(outcome.failure.c_str());
    ShowUpgradeFailed();
  }
  const int permille = outcome.permille;
  CString percent;
  percent.Format("%d%%", permille / 10);
  SetStatusText(percent);
  m_progress.SetPos(permille);
  if (done) {
    KillTimer(UPGRADE_TIMER_ID);
    m_watch.EndUpgrade();
    ShowUpgradeComplete();
  }
}

void CNibflashDlg::ShowUpgradeFailed() {
  AfxMessageBox(kFailureText, MB_OK | MB_ICONEXCLAMATION);
  ShowRecordIncomplete();
  m_watch.StopReceiveThread();
  m_closeAfterFailure = true;
  PostMessage(WM_CLOSE);
}

void CNibflashDlg::ShowUpgradeComplete() {
  m_watch.StopReceiveThread();
  if (CWnd* exit = GetDlgItem(IDOK)) exit->EnableWindow(TRUE);
  SetStatusText("Update complete - click Exit");
  ShowRecordIncomplete();
}

// After the outcome, so that it never hides it; once, as a record that lost a line stays so.
void CNibflashDlg::ShowRecordIncomplete() {
  const std::string where = IncompleteTrafficRecord();
  if (where.empty() || m_recordIncompleteShown) return;
  m_recordIncompleteShown = true;
  CString text;
  text.Format(kRecordIncompleteText, where.c_str());
  AfxMessageBox(text, MB_OK | MB_ICONEXCLAMATION);
}

void CNibflashDlg::OnCancel() {
  // Escape or a close request while the pen's flash is being written would
  // leave the pen half-written; Exit is disabled for the same reason.
  if (m_run.IsRunning() && !m_closeAfterFailure) return;
  CDialog::OnCancel();
}

void CNibflashDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    CRect client;
    GetClientRect(&client);
    const int x = (client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CNibflashDlg::OnQueryDragIcon() { return static_cast<HCURSOR>(m_hIcon); }

BOOL CNibflashDlg::OnEraseBkgnd(CDC* pDC) { return CDialog::OnEraseBkgnd(pDC); }

BOOL CNibflashDlg::OnQueryEndSession() {
  if (m_session.IsHeld()) return FALSE;  // the pen's flash is being written
  return CDialog::OnQueryEndSession();
}
