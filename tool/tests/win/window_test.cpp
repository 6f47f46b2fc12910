// The real upgrade tool (the shipped build, or the build with virtual pens) on a
// shown desktop of its own, driven from outside as a user would: by its controls,
// read and clicked through their window handles. Keeps pictures of the dialog
// before, during and after a realistic upgrade, and of the failure box.
#include <gtest/gtest.h>

#include <cwctype>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "testing/win32_ui/win32_ui.h"
#include "tool/resource.h"
#include "usb/tests/pen_fixture.h"

#include <commctrl.h>  // after windows.h, which it needs

namespace {

using win32_ui::kDeadlineMs;
using win32_ui::WaitUntil;

const std::wstring kShippedTool = win32_ui::Shipped(SHIPPED_TOOL_EXE);
const std::wstring kVirtualPenTool = win32_ui::FromBuild(VIRTUAL_PEN_TOOL_EXE);
constexpr wchar_t kTitle[] = L"Maravel Firmware Upgrade Tool - 3.18";
// A whole upgrade with realistic pen timing takes under 10 s; the limit leaves room for a busy machine.
constexpr DWORD kUpgradeDeadlineMs = 90000;

// "NN%" as the dialog shows progress: NN, or -1 for any other text.
int Percentage(const std::wstring& status) {
  std::size_t digits = 0;
  const int value = status.size() < 5 && std::iswdigit(status[0]) ? std::stoi(status, &digits) : -1;
  return digits > 0 && status.substr(digits) == L"%" ? value : -1;
}

std::wstring MessageBoxText(HWND box) { return win32_ui::WindowText(GetDlgItem(box, 0xFFFF)); }

class Tool {
 public:
  // Starts `program` in `workingDir` (empty: the sandbox's) and waits for its dialog.
  Tool(const std::wstring& program, const std::wstring& arguments, const std::wstring& workingDir = L"")
      : boxCaption_(program.substr(program.rfind(L'\\') + 1, program.size() - program.rfind(L'\\') - 5)),
        process_(program, workingDir.empty() ? sandbox_.dir() : workingDir, sandbox_.desktopName(), arguments),
        // Found once shown: the dialog fills its controls before it shows itself.
        dialog_(win32_ui::WaitForWindow(sandbox_.desktop(), process_, kTitle)) {
    // As the user's click on it would: nothing on its desktop has made it the foreground window.
    if (dialog_ != nullptr) win32_ui::Activate(sandbox_.desktop(), dialog_);
  }

  HWND dialog() const { return dialog_; }
  const win32_ui::Process& process() const { return process_; }
  std::wstring Title() const { return win32_ui::WindowText(dialog_); }
  std::wstring Status() const { return win32_ui::WindowText(GetDlgItem(dialog_, IDC_STATUS)); }
  bool Enabled(int id) const { return IsWindowEnabled(GetDlgItem(dialog_, id)) != FALSE; }
  int ProgressPosition() const {
    DWORD_PTR position = 0;
    SendMessageTimeoutW(GetDlgItem(dialog_, IDC_PROGRESS), PBM_GETPOS, 0, 0, SMTO_NORMAL, kDeadlineMs, &position);
    return static_cast<int>(position);
  }
  // The dialog's answer when the system asks whether the session may end (TRUE: it may).
  LRESULT AnswerToSessionEnd() const {
    DWORD_PTR answer = 0xBAD;
    SendMessageTimeoutW(dialog_, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, kDeadlineMs, &answer);
    return static_cast<LRESULT>(answer);
  }
  // As the mouse would, without waiting for the handler.
  void Click(int id) const { PostMessageW(GetDlgItem(dialog_, id), BM_CLICK, 0, 0); }
  // The tool's message box (captioned with the program's file name), once it has its OK button.
  HWND WaitForMessageBox(DWORD timeoutMs = kDeadlineMs) const {
    HWND box = nullptr;
    return WaitUntil([&] { return (box = win32_ui::FindProcessWindow(sandbox_.desktop(), process_.id(), boxCaption_)) &&
                                  GetDlgItem(box, IDOK); }, std::chrono::milliseconds(timeoutMs)) ? box : nullptr;
  }
  void Picture(HWND window, const std::wstring& name) const {
    win32_ui::KeepPicture(sandbox_.desktop(), window, dialog_, name);
  }
  // The user leaves by Exit, and the tool ends well.
  void ExpectExitEnds() const {
    Click(IDOK);
    EXPECT_TRUE(process_.WaitForExit());
    EXPECT_EQ(process_.ExitCode(), 0u);
  }

 private:
  win32_ui::Sandbox sandbox_;
  std::wstring boxCaption_;
  win32_ui::Process process_;
  HWND dialog_;
};

// The program, its arguments, and whether it starts in a directory other than its sandbox's.
using NoPenCase = std::tuple<const std::wstring*, const wchar_t*, bool>;
const NoPenCase kNoPenCases[] = {
    {&kShippedTool, L"", false},
    // The options of the virtual-pen build, which the shipped tool must not know.
    {&kShippedTool, L"--pens 1 --timing realistic /? \"two words\"", true},
    {&kVirtualPenTool, L"--pens 0", false},
    {&kVirtualPenTool, L"--pens 2", false},
    {&kVirtualPenTool, L"--product 0x0205", false},
};

class WithoutUsablePen : public ::testing::TestWithParam<NoPenCase> {};

TEST_P(WithoutUsablePen, ShowsTheNoPenStateUntilTheUserLeaves) {
  const auto& [program, arguments, otherWorkingDir] = GetParam();
  win32_ui::Sandbox elsewhere(false);
  Tool tool(*program, arguments, otherWorkingDir ? elsewhere.dir() : L"");
  ASSERT_NE(tool.dialog(), nullptr);
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_EQ(tool.Status(), L"Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_TRUE(tool.Enabled(IDOK));
  EXPECT_EQ(tool.ProgressPosition(), 0);
  tool.ExpectExitEnds();
}

INSTANTIATE_TEST_SUITE_P(Starts, WithoutUsablePen, ::testing::ValuesIn(kNoPenCases));

// A second copy of the tool (the launcher run twice, a double click) starts and
// shows its dialog, but leaves the pen to the first: two copies reading one pen
// would take each other's packets. The fake driver lets any number of handles
// open its pen: only the system-wide lock keeps the second copy from it.
TEST(TwoCopies, OnlyTheFirstOpensThePen) {
  const auto fakePen = channel_testing::PenFixture::Make();
  ASSERT_FALSE(fakePen->PlugPen().empty());
  Tool first(kShippedTool, L"");
  ASSERT_NE(first.dialog(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return first.Enabled(IDC_START); })) << "the first copy did not open the pen";
  Tool second(kShippedTool, L"");
  ASSERT_NE(second.dialog(), nullptr);
  EXPECT_EQ(second.Status(), L"Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(second.Enabled(IDC_START));
  second.Picture(second.dialog(), L"tool_second_copy");
  EXPECT_EQ(first.Status(), L"Current SW version: 3.18 - New SW version : 3.18");
  EXPECT_TRUE(first.Enabled(IDC_START));
  // One opening, one receive thread reading the pen.
  EXPECT_TRUE(WaitUntil([&] { return fakePen->WaitingReceives() == 1; }));
  second.ExpectExitEnds();
  first.ExpectExitEnds();
}

// The pen's options, whether to keep pictures, and whether the upgrade fails: the pen
// leaves the bus halfway through writing the main image, or does not come back from
// its restart into DFU mode (the tool gives up after 15 s).
const std::tuple<const wchar_t*, bool, bool> kUpgrades[] = {
    {L"--timing realistic", true, false},
    {L"--timing zero", false, false},
    {L"--timing realistic --fault unplug@300", true, true},
    {L"--timing zero --fault unplug@300", false, true},
    {L"--timing realistic --restart-fault never-back@1 --restart-delay 100", false, true},
};

// Driven as a user drives it: wait for Start, click it, watch the status line. It
// ends with Exit enabled, or in the fixed failure box, which comes once; the dialog
// behind it holds, and once the user confirms it the tool ends. The session may end
// before and after the upgrade, never while it runs (asked once a realistic one shows progress).
class VirtualPenUpgrade : public ::testing::TestWithParam<std::tuple<const wchar_t*, bool, bool>> {};

TEST_P(VirtualPenUpgrade, RunsToItsEndDrivenLikeAUser) {
  const auto& [options, pictures, fails] = GetParam();
  const bool realistic = std::wstring(options).find(L"realistic") != std::wstring::npos;
  Tool tool(kVirtualPenTool, options);
  ASSERT_NE(tool.dialog(), nullptr);
  ASSERT_TRUE(WaitUntil([&] { return tool.Enabled(IDC_START); })) << "the pen was not opened";
  EXPECT_EQ(tool.Status(), L"Current SW version: 3.10 - New SW version : 3.18");
  EXPECT_TRUE(tool.Enabled(IDOK));
  if (pictures && !fails) tool.Picture(tool.dialog(), L"tool_upgrade_before");
  EXPECT_EQ(tool.AnswerToSessionEnd(), TRUE);
  tool.Click(IDC_START);
  std::vector<int> percentages;  // each change of the status line, in order
  bool pictured = !pictures || fails;
  bool buttonsHeld = true;
  std::optional<LRESULT> answerWhileRunning;  // asked once, when a realistic upgrade shows progress
  std::wstring status;
  HWND box = nullptr;
  const bool ended = WaitUntil(
      [&] {
        const bool buttonEnabled = tool.Enabled(IDC_START) || tool.Enabled(IDOK);
        status = tool.Status();
        if (status == L"Update complete - click Exit" || (box = tool.WaitForMessageBox(0)) != nullptr) return true;
        const int percentage = Percentage(status);
        if (percentage < 0) return false;
        if (percentages.empty() || percentages.back() != percentage) percentages.push_back(percentage);
        if (realistic && !answerWhileRunning) answerWhileRunning = tool.AnswerToSessionEnd();
        // The tick that completes the upgrade enables Exit just before it writes
        // the completion text: a button counts as enabled during the upgrade only
        // if it still is once the dialog has finished its current message.
        if (buttonEnabled && win32_ui::SendWithin(tool.dialog(), WM_NULL, 0, 0) && Percentage(tool.Status()) >= 0) {
          buttonsHeld = false;
        }
        if (!pictured && percentage >= 40 && percentage <= 70) {
          tool.Picture(tool.dialog(), L"tool_upgrade_during");
          pictured = true;
        }
        return false;
      },
      std::chrono::milliseconds(kUpgradeDeadlineMs));
  ASSERT_TRUE(ended) << "status line: " << testing::PrintToString(status);
  EXPECT_TRUE(buttonsHeld) << "Start or Exit was enabled during the upgrade";
  if (realistic) {
    EXPECT_EQ(answerWhileRunning, FALSE) << "the session may end mid-upgrade";
  }
  // Progress is seen moving with a pen that takes its time, and never backwards.
  EXPECT_GE(percentages.size(), realistic && !fails ? 10u : 0u);
  for (std::size_t i = 1; i < percentages.size(); ++i) EXPECT_GT(percentages[i], percentages[i - 1]) << i;
  EXPECT_EQ(tool.Title(), kTitle);
  EXPECT_FALSE(tool.Enabled(IDC_START));
  EXPECT_NE(tool.Enabled(IDOK), fails);  // Exit: enabled once done, not behind the failure box
  if (!fails) {
    ASSERT_EQ(box, nullptr) << "a box along the way: " << testing::PrintToString(MessageBoxText(box));
    EXPECT_EQ(tool.ProgressPosition(), 1000);
    EXPECT_EQ(tool.AnswerToSessionEnd(), TRUE);
    if (pictures) tool.Picture(tool.dialog(), L"tool_upgrade_after");
    tool.ExpectExitEnds();
    return;
  }
  ASSERT_NE(box, nullptr) << "no failure box; status line: " << testing::PrintToString(status);
  EXPECT_EQ(MessageBoxText(box),
            L"Upgrade failed!\n Unplug the pen and hold the function button for 15 seconds.\n"
            L"Connect the pen to USB and restart the upgrade tool.");
  EXPECT_TRUE(IsWindow(tool.dialog()));
  EXPECT_GE(Percentage(tool.Status()), 0) << testing::PrintToString(tool.Status());
  EXPECT_EQ(tool.AnswerToSessionEnd(), TRUE);  // the failure box may wait for the user for long
  if (pictures) tool.Picture(box, L"tool_upgrade_failure");
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  HWND another = nullptr;
  EXPECT_TRUE(WaitUntil([&] {
    const HWND found = tool.WaitForMessageBox(0);
    if (found != nullptr && found != box) another = found;
    return !tool.process().Running();
  })) << "the tool did not end";
  EXPECT_EQ(another, nullptr) << "a second box: " << testing::PrintToString(MessageBoxText(another));
  EXPECT_EQ(tool.process().ExitCode(), 0u);
}

INSTANTIATE_TEST_SUITE_P(Runs, VirtualPenUpgrade, ::testing::ValuesIn(kUpgrades));

}  // namespace
