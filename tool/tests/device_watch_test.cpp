// The device watch: pens coming and going, the receive thread's stop, and a
// restart's let-go, through the dialog's own watch.
#include <algorithm>
#include <cctype>
#include <future>
#include <thread>

#include "engine/tests/upgrader_probe.h"
#include "tool/receive_thread.h"
#include "tool/tests/dialog_fixture.h"
#include "virtualpen/pen_channel_virtual.h"

namespace {

class DeviceWatchTest : public DialogTest {
 protected:
  void TearDown() override {
    for (const auto& pen : m_stalled) pen->SetReceivesIgnoreClose(false);
    if (m_secondUi.joinable()) {
      ui::PostCommand(m_second, IDOK);
      m_secondUi.join();
    }
    DialogTest::TearDown();
  }

  static std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
  }
  // Receives on this pen then ignore a close, as a driver that does not cancel.
  void StallReceives(const std::shared_ptr<virtualpen::VirtualPen>& pen) {
    m_stalled.push_back(pen);
    pen->SetReceivesIgnoreClose(true);
  }
  bool DfuAnnounced() { return UpgraderProbe::InDfuMode(Upgrader()); }

  // Another copy of the tool on a UI thread of its own, shown; closed at the end.
  HWND OpenSecondCopy() {
    m_secondUi = std::thread([] {
      CNibflashDlg dialog;
      dialog.DoModal();
    });
    HWND second = nullptr;
    EXPECT_TRUE(WaitFor([&] { return (second = ui::FindDialog(IDD_UPGRADE_DIALOG)) != m_dialog && second; }));
    EXPECT_TRUE(WaitFor([&] { return ShowsNoPen(second); }));
    m_second = second;
    return second;
  }
  static bool ShowsNoPen(HWND dialog) {
    return ui::GetControlText(dialog, IDC_STATUS) == "Current SW version: ----- - New SW version : 3.18" &&
           !ui::IsControlEnabled(dialog, IDC_START);
  }

  std::vector<std::shared_ptr<virtualpen::VirtualPen>> m_stalled;
  std::thread m_secondUi;
  HWND m_second = nullptr;
};

TEST_F(DeviceWatchTest, RemovalMatchesTheOpenPenIgnoringLetterCaseOnly) {
  auto pen = PlugPen();
  OpenDialog();
  ASSERT_TRUE(StartEnabled());
  const std::string name = pen->InterfaceName();
  for (const std::string& other : {name.substr(0, name.size() - 1), name + "0",
                                   std::string("\\\\?\\USB#VID_1D50&PID_0204#SOMEOTHERPEN#{a165badf-6e6a-4126-85c1-bfbe09014345}")}) {
    SendPenInterfaceChange(m_dialog, DBT_DEVICEREMOVECOMPLETE, other);
    EXPECT_TRUE(StartEnabled()) << other;
  }
  SendPenInterfaceChange(m_dialog, DBT_DEVICEREMOVECOMPLETE, Lower(name));
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(Watch().PenHandle(), nullptr);
}

// An arrival while a pen is open, of another pen or of the open one itself,
// changes nothing: no second opening, no restart confirmed.
TEST_F(DeviceWatchTest, ArrivalsWhileAPenIsOpenAreIgnored) {
  auto first = PlugPen();
  OpenDialog();
  const HANDLE opened = Watch().PenHandle();
  ASSERT_NE(opened, nullptr);
  SendPenInterfaceChange(m_dialog, DBT_DEVICEARRIVAL, first->InterfaceName());
  auto second = PlugPen();
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  Bus()->Unplug(second);  // not the open pen: nothing changes
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_EQ(Watch().PenHandle(), opened);
  EXPECT_TRUE(StartEnabled());
  EXPECT_FALSE(UpgraderProbe::PenWasBack(Upgrader()));
  EXPECT_EQ(RunningReceiveThreads(), 1);
}

TEST_F(DeviceWatchTest, AForeignPenArrivingIsClosedAgainAndStartShowsTheWrongDeviceBox) {
  OpenDialog();
  virtualpen::PenOptions foreign;
  foreign.productId = 0x0205;
  auto pen = PlugPen(foreign);
  ASSERT_TRUE(Bus()->WaitUntilIdle());
  EXPECT_FALSE(StartEnabled());
  EXPECT_EQ(Watch().PenHandle(), nullptr);
  // A click that reaches the handler all the same (the button is disabled).
  ui::PostCommand(m_dialog, IDC_START);
  ASSERT_TRUE(WaitFor([] { return BoxesWithText(kWrongDeviceText) == 1; }));
  const auto box = ui::MessageBoxHistory().back();
  EXPECT_EQ(box.caption, AfxGetApp()->m_pszAppName);  // the program's file name
  EXPECT_FALSE(box.caption.empty());
  EXPECT_EQ(box.type, static_cast<UINT>(MB_OK | MB_ICONEXCLAMATION));
  EXPECT_TRUE(ExitEnabled());
  EXPECT_EQ(pen->RequestCount(), 0u);  // no upgrade started
}

// A receive thread whose read ignores the close is abandoned after 500 ms and
// never dispatches the packet that read returns later; a second stop is a no-op.
TEST_F(DeviceWatchTest, AStoppedReceiveThreadIsAbandonedAndNeverDispatches) {
  auto pen = PlugPen();
  OpenDialog();
  ASSERT_TRUE(Bus()->WaitUntilIdle());  // the plug's own arrival, which would reopen the pen
  ASSERT_TRUE(WaitFor([&] { return pen->WaitingReceives() == 1; }));
  StallReceives(pen);
  auto stop = std::async(std::launch::async, [&] { Watch().StopReceiveThread(); });
  ASSERT_EQ(stop.wait_for(kLongWait), std::future_status::ready);
  EXPECT_EQ(Watch().PenHandle(), nullptr);
  EXPECT_EQ(RunningReceiveThreads(), 1);  // still blocked in its read
  Watch().StopReceiveThread();

  // An answer for the stalled read, while a command waits: taken, then dropped.
  UpgraderProbe::AwaitAnswer(Upgrader());
  std::string name;
  auto link = Bus()->Open(&name);
  ASSERT_NE(link, nullptr);
  const std::uint8_t read[] = {0xFA, 0xF0, 0x00, 0x40, 0x00, 0x00, 0x10, 0x00};
  ASSERT_EQ(link->Send(read, sizeof read), virtualpen::PenLink::Result::Ok);
  ASSERT_TRUE(WaitFor([] { return RunningReceiveThreads() == 0; }));
  EXPECT_EQ(pen->QueuedPackets(), 0u);
  EXPECT_FALSE(UpgraderProbe::AnswerTaken(Upgrader()));
}

// The restart lets go of the pen before it waits for the old receive thread, so
// the removal and the arrival of the restarting pen are handled meanwhile.
TEST_F(DeviceWatchTest, NotificationsDuringARestartDoNotWaitForIt) {
  virtualpen::PenOptions options;
  options.restartDelayMs = 0;
  auto pen = PlugPen(options);
  OpenDialog();
  ASSERT_TRUE(Bus()->WaitUntilIdle());  // the plug's own arrival, which would reopen the pen
  ASSERT_TRUE(WaitFor([&] { return pen->WaitingReceives() == 1; }));
  StallReceives(pen);  // the old receive thread will not end: the restart waits its full 500 ms
  afx::SetTimeScale(1000.0);  // ... which is now more than a test's lifetime
  auto restart = std::async(std::launch::async, [&] { Watch().RestartPen(); });
  EXPECT_TRUE(WaitFor([&] { return UpgraderProbe::PenWasBack(Upgrader()); }));  // reopened meanwhile
  EXPECT_EQ(pen->RestartCount(), 1u);
  EXPECT_NE(Watch().PenHandle(), nullptr);
  EXPECT_EQ(restart.wait_for(0s), std::future_status::timeout);
  EXPECT_EQ(RunningReceiveThreads(), 2);
  afx::SetTimeScale(kTimeScale);  // for the old thread's pause after its failed read
  pen->SetReceivesIgnoreClose(false);
  EXPECT_EQ(restart.wait_for(kLongWait), std::future_status::ready);
}

// An announcement of DFU mode belongs to the opening that made it: the same
// pen back in its main firmware must get the whole upgrade.
TEST_F(DeviceWatchTest, ADfuAnnouncementDoesNotOutliveItsOpening) {
  virtualpen::PenOptions options;
  options.restartDelayMs = 10;
  auto pen = std::make_shared<virtualpen::VirtualPen>(options);
  m_lowFlash = pen->ReadFlash(0, 0x7000);
  OpenDialog();
  ASSERT_TRUE(Bus()->Plug(pen, true));  // function button held: DFU mode, announced
  ASSERT_TRUE(WaitFor([&] { return DfuAnnounced(); }));
  Bus()->Unplug(pen);
  ASSERT_TRUE(WaitFor([&] { return !StartEnabled(); }));
  ASSERT_TRUE(Bus()->Plug(pen));
  ASSERT_TRUE(WaitFor([&] { return StartEnabled(); }));
  ASSERT_TRUE(Upgrade());
  EXPECT_EQ(pen->RestartCount(), 2u);
  EXPECT_TRUE(IsUpgraded(*pen));
}

// Two copies of the tool: the one with the pen keeps it through its whole
// upgrade, restarts included; the other shows no pen, and opens it only at an
// arrival after the first has let go.
TEST_F(DeviceWatchTest, ASecondCopyNeverOpensThePenWhileTheFirstHasIt) {
  virtualpen::PenOptions options;
  options.restartDelayMs = 10;
  auto pen = PlugPen(options);
  OpenDialog();
  ASSERT_TRUE(StartEnabled());
  const HWND second = OpenSecondCopy();
  ASSERT_TRUE(Upgrade());  // two restarts: each arrival reaches both copies
  EXPECT_TRUE(IsUpgraded(*pen));
  EXPECT_TRUE(ShowsNoPen(second));
  EXPECT_EQ(RunningReceiveThreads(), 0);  // the first let go at the end, the second never read

  ClickExit();
  Bus()->Unplug(pen);
  ASSERT_TRUE(Bus()->Plug(pen));
  EXPECT_TRUE(WaitFor([&] { return ui::IsControlEnabled(second, IDC_START); }));
}

// The pen that vanishes mid-upgrade and is back within the wait stays the first
// copy's until its upgrade has ended.
TEST_F(DeviceWatchTest, APenBackMidUpgradeIsNotTakenByTheSecondCopy) {
  auto pen = PlugPen();
  OpenDialog();
  const HWND second = OpenSecondCopy();
  pen->AddFault(virtualpen::RequestFault{virtualpen::RequestFaultKind::UnplugAtRequest, 20, 1, 0});
  Bus()->PlugAfter(pen, pen, virtualpen::Departure::Unplug, 1, 500);
  ui::ClickButton(m_dialog, IDC_START);
  EXPECT_EQ(WaitForDialogEnd(), IDCANCEL);  // the failure box
  EXPECT_TRUE(ShowsNoPen(second));        // its display follows its own, idle run
  EXPECT_EQ(RunningReceiveThreads(), 0);  // and it never read
  EXPECT_EQ(pen->RequestCount(), 20u);
}

}  // namespace
