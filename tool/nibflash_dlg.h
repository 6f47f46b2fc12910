#pragma once
// The upgrade dialog: the whole user interface of the upgrade tool. It shows the
// pen's and the image's versions, starts the upgrade thread on Start and follows
// it from a 100 ms timer through the run's outcome. The device watch
// (device_watch.h) keeps the pen; the dialog forwards its creation and
// device-change messages to it and shows what it reports.
#include "afx/afxwin.h"
#include "engine/firmware_upgrader.h"
#include "tool/device_watch.h"
#include "tool/session_guard.h"
#include "tool/upgrade_thread.h"

inline constexpr std::uint16_t SUPPORTED_PRODUCT_ID = 0x0204;
inline constexpr std::uint8_t DEBUG_BYTE = 0xDB;
inline constexpr UINT_PTR UPGRADE_TIMER_ID = 1;
inline constexpr UINT kUpgradeTimerPeriodMs = 100;

class CNibflashDlg : public CDialog, private PenDisplay {
 public:
  CNibflashDlg();
  ~CNibflashDlg() override;

  // Enables Start (or not) and rewrites the title and the version line; does
  // nothing while an upgrade runs.
  void UpdateDeviceState(bool enable) override;
  void SetStatusText(LPCTSTR text);
  CString GetDeviceVersionText();   // the pen's firmware version, at most 5 characters
  bool IsSupportedPen() override;   // an open pen whose descriptor names SUPPORTED_PRODUCT_ID

  void ShowUpgradeFailed();
  void ShowUpgradeComplete();
  UpgradeOutcome Outcome() const { return m_run.Outcome(); }

  FirmwareUpgrader m_upgrader;
  DeviceWatch m_watch{m_upgrader, *this};  // after m_upgrader: it is given up first
  HICON m_hIcon = nullptr;
  CProgressCtrl m_progress;

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnCancel() override;

  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);
  afx_msg int OnCreate(LPCREATESTRUCT lpCreateStruct);
  afx_msg void OnBnClickedStart();
  afx_msg void OnBnClickedDbg();
  afx_msg void OnTimer(UINT_PTR nIDEvent);
  afx_msg BOOL OnEraseBkgnd(CDC* pDC);
  afx_msg BOOL OnQueryEndSession();
  DECLARE_MESSAGE_MAP()

 private:
  CString VersionLine();
  void ShowRecordIncomplete();

  // Set by ShowUpgradeFailed: its own close request must end the dialog even
  // while the cancel path is closed during an upgrade.
  bool m_closeAfterFailure = false;
  bool m_recordIncompleteShown = false;
  // Held from Start to the tick that sees the outcome; released by its destructor if still held.
  SessionGuard m_session;
  // Last: its thread is waited for before m_watch and m_upgrader go.
  UpgradeRun m_run{m_upgrader, m_watch};
};
