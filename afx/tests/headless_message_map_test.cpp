// Message-map dispatch: each kind of entry reaches its handler with the
// message's arguments, the handler's result goes back to the sender, derived
// maps win over base maps, and commands nobody handles reach the application.
#include <thread>

#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

class MapApp : public CWinApp {
 public:
  EventLog log;
  afx_msg void OnHelpCommand() { log.Add("app help"); }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(MapApp, CWinApp)
  ON_COMMAND(ID_HELP, &MapApp::OnHelpCommand)
END_MESSAGE_MAP()
MapApp theApp;

// A derived map entry for IDOK, as the launcher binds its Exit button.
class OkOverrideDialog : public ScriptedDialog {
 public:
  afx_msg void OnBnClickedOk() {
    log.Add("derived ok");
    EndDialog(42);
  }
  DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(OkOverrideDialog, ScriptedDialog)
  ON_BN_CLICKED(IDOK, &OkOverrideDialog::OnBnClickedOk)
END_MESSAGE_MAP()

using MessageMapTest = HeadlessTest;

TEST_F(MessageMapTest, CreateSeesTheTemplateBeforeTheControlsExistAndBeforeInitDialog) {
  ScriptedDialog dialog;
  std::string name;
  dialog.onCreate = [&](LPCREATESTRUCT create) {
    name = create->lpszName;
    return 0;
  };
  dialog.onInit = [&] { dialog.EndDialog(IDOK); };
  EXPECT_EQ(RunModal(dialog).get(), IDOK);
  EXPECT_EQ(name, "Template Caption");
  const auto events = dialog.log.Events();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events[0], "create:no controls");
  EXPECT_EQ(events[1], "init");
}

TEST_F(MessageMapTest, ACreateFailureEndsDoModalWithMinusOne) {
  ScriptedDialog dialog;
  dialog.onCreate = [](LPCREATESTRUCT) { return -1; };
  EXPECT_EQ(RunModal(dialog).get(), -1);
  EXPECT_EQ(dialog.log.Count("init"), 0);
  EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST_F(MessageMapTest, ShowingTheDialogPaintsAndPaintingErasesWithADc) {
  ScriptedDialog dialog;
  dialog.onPaint = [&] {
    CPaintDC dc(&dialog);  // BeginPaint sends WM_ERASEBKGND with the paint DC
    dialog.EndDialog(IDOK);
  };
  RunModal(dialog).get();
  EXPECT_EQ(dialog.log.Count("paint"), 1);
  EXPECT_EQ(dialog.log.Count("erase:dc"), 1);
}

TEST_F(MessageMapTest, IconicPaintDrawsTheIconWhereTheHandlerSays) {
  ScriptedDialog dialog;
  const HICON icon = reinterpret_cast<HICON>(0x1234);
  dialog.onPaint = [&] {
    if (!dialog.IsIconic()) return dialog.DefaultPaint();
    CPaintDC dc(&dialog);
    CRect client;
    dialog.GetClientRect(&client);
    dc.DrawIcon((client.Width() - GetSystemMetrics(SM_CXICON) + 1) / 2,
                (client.Height() - GetSystemMetrics(SM_CYICON) + 1) / 2, icon);
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ASSERT_TRUE(ui::SetIconic(hwnd, true));
  ASSERT_TRUE(ui::WaitUntil([&] { return ui::LastIconDraw(hwnd).has_value(); }, kWait));
  const auto draw = *ui::LastIconDraw(hwnd);
  // 262 x 78 dialog units at 6 x 13 pixels per 4 x 8 units: 393 x 126 pixels.
  EXPECT_EQ(draw.x, (393 - 32 + 1) / 2);
  EXPECT_EQ(draw.y, (126 - 32 + 1) / 2);
  EXPECT_EQ(draw.icon, icon);
  ui::PostClose(hwnd);
  EXPECT_EQ(result.get(), IDCANCEL);
}

TEST_F(MessageMapTest, SentMessagesReturnTheirHandlersResults) {
  ScriptedDialog dialog;
  dialog.dragIcon = reinterpret_cast<HCURSOR>(0x5678);
  std::pair<UINT, DWORD_PTR> deviceChange{};
  dialog.onDeviceChange = [&](UINT event, DWORD_PTR data) {
    deviceChange = {event, data};
    return TRUE;
  };
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  EXPECT_EQ(SendMessageA(hwnd, WM_QUERYDRAGICON, 0, 0), 0x5678);
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, 0x8004, 0xABCD), TRUE);
  EXPECT_EQ(deviceChange.first, 0x8004u);
  EXPECT_EQ(deviceChange.second, 0xABCDu);
  SendMessageA(hwnd, WM_SYSCOMMAND, 0x0013, 77);
  EXPECT_EQ(dialog.log.Count("syscommand:19:77"), 1);
  EXPECT_EQ(SendMessageA(hwnd, WM_ERASEBKGND, 0, 0), TRUE);  // handlers forwarding to CDialog's
  dialog.onDeviceChange = nullptr;
  EXPECT_EQ(SendMessageA(hwnd, WM_DEVICECHANGE, 0x8000, 0), TRUE);
  ui::PostClose(hwnd);
  result.get();
}

TEST_F(MessageMapTest, UsersCannotClickDisabledOrHiddenButtonsButCommandsReachThem) {
  ScriptedDialog dialog;
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  EXPECT_FALSE(ui::ClickButton(hwnd, IDC_T_START));   // disabled in the template
  EXPECT_FALSE(ui::ClickButton(hwnd, IDC_T_HIDDEN));  // not visible
  EXPECT_FALSE(ui::ClickButton(hwnd, IDC_STATIC));    // the group box
  ASSERT_TRUE(ui::PostCommand(hwnd, IDC_T_START));
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.log.Count("start") == 1; }, kWait));
  ui::PostClose(hwnd);
  result.get();
}

TEST_F(MessageMapTest, ACommandWithoutAnEntryChangesNothing) {
  ScriptedDialog dialog;
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ui::PostCommand(hwnd, IDC_T_HIDDEN);  // no entry for it
  ui::PostCommand(hwnd, IDC_T_OTHER);   // a marker behind it in the queue
  ASSERT_TRUE(ui::WaitUntil([&] { return dialog.log.Count("other") == 1; }, kWait));
  EXPECT_EQ(dialog.log.Count("start"), 0);
  EXPECT_EQ(dialog.log.Count("cancel"), 0);
  EXPECT_TRUE(ui::IsControlEnabled(hwnd, IDOK));
  ui::PostClose(hwnd);
  result.get();
}

TEST_F(MessageMapTest, ADerivedEntryWinsOverTheBaseClassCommand) {
  OkOverrideDialog dialog;
  auto result = RunModal(dialog);
  ASSERT_TRUE(ui::ClickButton(WaitShown(), IDOK));
  EXPECT_EQ(result.get(), 42);
  EXPECT_EQ(dialog.log.Count("derived ok"), 1);
}

TEST_F(MessageMapTest, CommandsNoWindowHandlesReachTheApplication) {
  ScriptedDialog dialog;
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  ui::PostCommand(hwnd, ID_HELP, CN_COMMAND);
  ASSERT_TRUE(ui::WaitUntil([&] { return theApp.log.Count("app help") == 1; }, kWait));
  ui::PostClose(hwnd);
  result.get();
}

}  // namespace
}  // namespace afx_test
