#pragma once
// Shared by the headless tests: a dialog on the test template whose handlers
// are set per test, a thread-safe event log, and a fixture that scales time
// down and leaves no message-box handler or observer behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "afx/afxwin.h"
#include "afx/headless/ui_test_api.h"
#include "afx/tests/test_dialogs.h"
#include "afx/time_scale.h"

namespace afx_test {

namespace ui = afx::headless;
inline constexpr ui::Millis kWait{10000};  // a safety limit only: conditions end the waits

class EventLog {
 public:
  void Add(std::string event) {
    std::lock_guard<std::mutex> guard(m_mutex);
    m_events.push_back(std::move(event));
  }
  std::vector<std::string> Events() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_events;
  }
  int Count(const std::string& event) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return static_cast<int>(std::count(m_events.begin(), m_events.end(), event));
  }

 private:
  mutable std::mutex m_mutex;
  std::vector<std::string> m_events;
};

// IDD_TEST_DIALOG with every kind of map entry; each handler logs and then runs
// its hook when one is set, else the default processing.
class ScriptedDialog : public CDialog {
 public:
  explicit ScriptedDialog(UINT templateId = IDD_TEST_DIALOG) : CDialog(templateId) {}

  EventLog log;
  CProgressCtrl m_progress;
  std::function<int(LPCREATESTRUCT)> onCreate;
  std::function<void()> onInit;
  std::function<void(UINT_PTR)> onTimer;
  std::function<BOOL(UINT, DWORD_PTR)> onDeviceChange;
  std::function<void()> onStart;
  std::function<void()> onOther;
  std::function<void()> onPaint;
  std::function<bool()> allowCancel;
  HCURSOR dragIcon = nullptr;

  using CDialog::OnCancel;
  using CDialog::OnOK;
  void DefaultPaint() { CDialog::OnPaint(); }

 protected:
  void DoDataExchange(CDataExchange* pDX) override {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_T_PROGRESS, m_progress);
  }
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    log.Add("init");
    if (onInit) onInit();
    return TRUE;
  }
  void OnCancel() override {
    log.Add("cancel");
    if (!allowCancel || allowCancel()) CDialog::OnCancel();
  }

  afx_msg int OnCreate(LPCREATESTRUCT create) {
    log.Add(std::string("create:") + (GetDlgItem(IDOK) == nullptr ? "no controls" : "controls"));
    if (CDialog::OnCreate(create) == -1) return -1;
    return onCreate ? onCreate(create) : 0;
  }
  afx_msg void OnPaint() {
    log.Add("paint");
    onPaint ? onPaint() : CDialog::OnPaint();
  }
  afx_msg HCURSOR OnQueryDragIcon() {
    log.Add("querydragicon");
    return dragIcon;
  }
  afx_msg BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData) {
    log.Add("devicechange");
    return onDeviceChange ? onDeviceChange(nEventType, dwData) : CDialog::OnDeviceChange(nEventType, dwData);
  }
  afx_msg void OnTimer(UINT_PTR nIDEvent) {
    log.Add("timer:" + std::to_string(nIDEvent));
    if (onTimer) onTimer(nIDEvent);
  }
  afx_msg BOOL OnEraseBkgnd(CDC* pDC) {
    log.Add(std::string("erase:") + (pDC != nullptr && pDC->GetSafeHdc() != nullptr ? "dc" : "no dc"));
    return CDialog::OnEraseBkgnd(pDC);
  }
  afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
    log.Add("syscommand:" + std::to_string(nID) + ":" + std::to_string(lParam));
    CDialog::OnSysCommand(nID, lParam);
  }
  afx_msg void OnBnClickedStart() {
    log.Add("start");
    if (onStart) onStart();
  }
  afx_msg void OnBnClickedOther() {
    log.Add("other");
    if (onOther) onOther();
  }
  DECLARE_MESSAGE_MAP()
};

// Runs a dialog's modal loop on a thread of its own, as the program's UI thread.
inline std::future<INT_PTR> RunModal(CDialog& dialog) {
  return std::async(std::launch::async, [&dialog] { return dialog.DoModal(); });
}

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    afx::SetTimeScale(0.001);
    ui::ClearMessageBoxHistory();
  }
  void TearDown() override {
    ui::SetMessageBoxHandler(nullptr);
    ui::SetObserver(nullptr);
    afx::SetTimeScale(1.0);
  }

  // Waits for the dialog to be up and initialised (shown after OnInitDialog).
  static HWND WaitShown(UINT templateId = IDD_TEST_DIALOG) {
    HWND dialog = nullptr;
    ui::WaitUntil(
        [&] {
          dialog = ui::FindDialog(templateId);
          const auto state = ui::GetDialogState(dialog);
          return state && state->visible;
        },
        kWait);
    return dialog;
  }
};

}  // namespace afx_test
