#pragma once
// The dialog the headless afx tests run, on a UI thread of its own: a map entry
// of every kind, each handler logging what it was given and then running the
// test's hook, if any. Included by one file of each test program (it defines the map).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/headless/ui_test_api.h"
#include "afx/tests/test_dialogs.h"
#include "afx/time_scale.h"

namespace ui = afx::headless;
inline constexpr ui::Millis kWait{60000};  // a safety limit only: conditions end the waits

class TestDialog : public CDialog {
 public:
  TestDialog() : CDialog(IDD_TEST_DIALOG) {}
  std::function<void()> onInit, onStart;
  std::function<void(UINT_PTR)> onTimer;

  std::future<INT_PTR> Run() {
    return std::async(std::launch::async, [this] { return DoModal(); });
  }
  std::vector<std::string> Log() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_log;
  }
  int Count(const std::string& entry) const {
    const auto log = Log();
    return static_cast<int>(std::count(log.begin(), log.end(), entry));
  }

 protected:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_log.push_back(std::move(entry));
  }
  static std::string Text(UINT_PTR value) { return ":" + std::to_string(value); }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    Add("init");
    if (onInit) onInit();
    return TRUE;
  }
  afx_msg int OnCreate(LPCREATESTRUCT create) {
    Add(std::string("create:") + create->lpszName + (GetDlgItem(IDOK) == nullptr ? ":no controls" : ":controls"));
    return CDialog::OnCreate(create);
  }
  afx_msg void OnPaint() {
    Add("paint");
    CPaintDC dc(this);
  }
  afx_msg HCURSOR OnQueryDragIcon() {
    Add("querydragicon");
    return reinterpret_cast<HCURSOR>(0x5678);
  }
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    Add("devicechange" + Text(nEventType) + Text(dwData));
    return 7;
  }
  afx_msg void OnTimer(UINT_PTR nIDEvent) {
    Add("timer" + Text(nIDEvent));
    if (onTimer) onTimer(nIDEvent);
  }
  afx_msg BOOL OnEraseBkgnd(CDC* pDC) {
    Add("erase" + Text(reinterpret_cast<UINT_PTR>(pDC->GetSafeHdc())));
    return 9;
  }
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam) { Add("syscommand" + Text(nID) + Text(lParam)); }
  afx_msg void OnBnClickedStart() {
    Add("start");
    if (onStart) onStart();
  }
  afx_msg void OnBnClickedOther() { Add("other"); }
  DECLARE_MESSAGE_MAP()

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_log;
};

BEGIN_MESSAGE_MAP(TestDialog, CDialog)
  ON_WM_CREATE()
  ON_WM_PAINT()
  ON_WM_QUERYDRAGICON()
  ON_WM_DEVICECHANGE()
  ON_WM_TIMER()
  ON_WM_ERASEBKGND()
  ON_WM_SYSCOMMAND()
  ON_BN_CLICKED(IDC_T_START, &TestDialog::OnBnClickedStart)
  ON_BN_CLICKED(IDC_T_OTHER, &TestDialog::OnBnClickedOther)
END_MESSAGE_MAP()

// The newest dialog up for the user once it is not `previous`.
inline HWND WaitForNewDialog(HWND previous = nullptr) {
  HWND found = nullptr;
  EXPECT_TRUE(ui::WaitUntil([&] { return (found = ui::FindDialog()) != nullptr && found != previous; }, kWait));
  return found;
}
