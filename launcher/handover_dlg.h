#pragma once
// The launcher's main dialog: one Upgrade button that closes the pen's host
// application and starts the upgrade tool; the about box hangs off its system menu.
#include "afx/afxwin.h"
#include "launcher/resource.h"

class CHandoverDlg : public CDialog {
 public:
  explicit CHandoverDlg(CWnd* pParent = nullptr);

  enum { IDD = IDD_HANDOVER_DIALOG };

 protected:
  HICON m_hIcon = nullptr;  // loaded by the constructor, shared, never released

  BOOL OnInitDialog() override;
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
  afx_msg void OnPaint();
  afx_msg HCURSOR OnQueryDragIcon();
  afx_msg void OnBnClickedOk();
  afx_msg void OnBnClickedUpgrade();
  DECLARE_MESSAGE_MAP()
};

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();

  enum { IDD = IDD_ABOUTBOX };

 protected:
  DECLARE_MESSAGE_MAP()
};
