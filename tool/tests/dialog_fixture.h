#pragma once
// Runs the upgrade dialog on its own UI thread over headless windows, against
// pens on a fresh virtual bus, and lets a test act as the user, or as the
// upgrade thread through the dialog's own device watch.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "afx/headless/automation.h"
#include "afx/time_scale.h"
#include "testing/wait_until.h"
#include "firmware/embedded_images.h"
#include "tool/nibflash_dlg.h"
#include "tool/resource.h"
#include "tool/upgrade_outcome.h"
#include "usb/pen_channel.h"
#include "virtualpen/virtual_bus.h"

namespace ui = afx::automation;
using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

class DialogTest : public ::testing::Test {
 protected:
  // 1 s of product time is 20 ms here: the 15 s wait for a restarted pen takes
  // 300 ms, the 100 ms timer ticks every 2 ms, and a 2 s attempt leaves a busy
  // machine 40 ms to bring an answer that the pen gives at once.
  static constexpr double kTimeScale = 0.02;
  static constexpr auto kLongWait = 60s;  // real time; only reached when something is broken

  void SetUp() override {
    afx::SetTimeScale(kTimeScale);
    virtualpen::VirtualBus::ResetInstance();
    ui::ClearMessageBoxHistory();
    ui::ClearSessionCalls();
    ui::SetMessageBoxHandler([](const ui::MessageBoxInfo&) { return IDOK; });
  }

  void TearDown() override {
    afx::SetTimeScale(kTimeScale);
    if (m_ui.joinable()) {
      // Whatever state the test left: let any upgrade end, then close.
      testing_support::WaitUntil([this] { return Closed() || ExitEnabled(); }, kLongWait);
      if (HWND dialog = ui::FindDialog(IDD_UPGRADE_DIALOG)) ui::PostCommand(dialog, IDOK);
      m_ui.join();
    }
    ui::SetMessageBoxHandler(nullptr);
    ui::SetObserver(nullptr);
    virtualpen::VirtualBus::ResetInstance();
    afx::SetTimeScale(1.0);
  }

  // A pen with older firmware; everything below the boot-control sector is kept
  // to check that an upgrade never touches it.
  std::shared_ptr<virtualpen::VirtualPen> PlugPen(const virtualpen::PenOptions& options = {}) {
    auto pen = Bus()->PlugNewPen(options);
    m_lowFlash = pen->ReadFlash(0, 0x7000);
    return pen;
  }
  static std::shared_ptr<virtualpen::VirtualBus> Bus() { return virtualpen::VirtualBus::Instance(); }

  // Creates the dialog on the UI thread and waits until it shows.
  HWND OpenDialog() {
    if (m_ui.joinable()) m_ui.join();
    m_ui = std::thread([this] {
      CNibflashDlg dialog;
      m_dlg = &dialog;
      m_result = dialog.DoModal();
      m_outcome = dialog.Outcome();
      m_dlg = nullptr;
    });
    m_dialog = ui::WaitForDialog(IDD_UPGRADE_DIALOG, kLongWait);
    EXPECT_NE(m_dialog, nullptr);
    // Shown once OnInitDialog, which ends by writing the version line, has run.
    EXPECT_TRUE(WaitFor([this] {
      const auto state = ui::GetDialogState(m_dialog);
      return state && state->visible && Status().rfind("Current SW version: ", 0) == 0;
    }));
    return m_dialog;
  }

  // The upgrade's outcome as the dialog left it; valid once WaitForDialogEnd returned.
  const UpgradeOutcome& LastOutcome() const { return m_outcome; }

  // Waits until the dialog has ended and returns DoModal's result.
  INT_PTR WaitForDialogEnd() {
    if (m_ui.joinable()) m_ui.join();
    return m_result;
  }

  // Clicks Exit and waits until the dialog has ended; DoModal's result.
  INT_PTR ClickExit() {
    ui::ClickButton(m_dialog, IDOK);
    return WaitForDialogEnd();
  }

  // Clicks Start and waits for the outcome: true when the upgrade completed.
  bool Upgrade() {
    if (!StartEnabled() || !ui::ClickButton(m_dialog, IDC_START)) return false;
    return WaitFor([&] { return Completed() || Closed(); }) && Completed();
  }

  // The pen holds both shipped images and boots the new firmware; nothing
  // below the boot-control sector (the identity block among it) has changed.
  bool IsUpgraded(const virtualpen::VirtualPen& pen) const {
    const auto descriptor = pen.Descriptor();
    return Bus()->WaitUntilIdle() && pen.ReadFlash(0x8000, EmbeddedDfuImageSize) ==
                                         Bytes(EmbeddedDfuImage, EmbeddedDfuImage + EmbeddedDfuImageSize) &&
           pen.ReadFlash(0x28000, EmbeddedMainImageSize) ==
               Bytes(EmbeddedMainImage, EmbeddedMainImage + EmbeddedMainImageSize) &&
           pen.ReadFlash(0x7000, 4) == Bytes{0x00, 0x80, 0x02, 0x80} && pen.ReadFlash(0, 0x7000) == m_lowFlash &&
           pen.Mode() == virtualpen::PenMode::MainFirmware && (descriptor[12] | descriptor[13] << 8) == 0x0318;
  }

  bool WaitFor(const std::function<bool()>& condition) { return testing_support::WaitUntil(condition, kLongWait); }
  bool StartEnabled() const { return ui::IsControlEnabled(m_dialog, IDC_START); }
  bool ExitEnabled() const { return ui::IsControlEnabled(m_dialog, IDOK); }
  std::string Status() const { return ui::GetControlText(m_dialog, IDC_STATUS); }
  bool Completed() const { return Status() == "Update complete - click Exit" && ExitEnabled(); }
  bool Closed() const { return ui::FindDialog(IDD_UPGRADE_DIALOG) == nullptr; }
  FirmwareUpgrader& Upgrader() const { return m_dlg.load()->m_upgrader; }
  DeviceWatch& Watch() const { return m_dlg.load()->m_watch; }

  static int BoxesWithText(const std::string& text) {
    int count = 0;
    for (const auto& box : ui::MessageBoxHistory()) count += box.text == text ? 1 : 0;
    return count;
  }

  static constexpr const char* kFailureText =
      "Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
      "Connect the pen to USB and restart the upgrade tool.";
  static constexpr const char* kWrongDeviceText =
      "This software is not intended for this device, unable to upgrade your pen scanner.\n";

  HWND m_dialog = nullptr;
  std::atomic<CNibflashDlg*> m_dlg{nullptr};
  std::thread m_ui;
  INT_PTR m_result = 0;
  UpgradeOutcome m_outcome;
  Bytes m_lowFlash;
};
