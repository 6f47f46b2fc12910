// Handover.exe as shipped, driven through its dialog: once the host's windows have
// gone it starts the tool beside itself, bare, and ends; when it cannot, it stays.
// Its close loop runs in this process with time scaled. The launcher's surroundings
// are made here: the pen's host application as windows of this process, and this
// very program standing in for the tool. The names are written out here, not taken
// from the launcher, so that a wrong one shows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "afx/time_scale.h"
#include "launcher/tool_launch.h"
#include "testing/win32_ui/win32_ui.h"

#include <shellapi.h>  // after windows.h, which it needs

namespace {

using win32_ui::kDeadlineMs;
using win32_ui::Sandbox;
using win32_ui::WaitUntil;

constexpr wchar_t kToolFileName[] = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
constexpr wchar_t kHostClass[] = L"BrevioPen ctrl";
constexpr wchar_t kHostTitle[] = L"TessarinBrevioEYE";
constexpr wchar_t kOtherClass[] = L"nibflash host stand-in";
constexpr wchar_t kStartsFile[] = L"tool_starts.txt";
constexpr int kMostPasses = 200;

std::wstring OwnPath() {
  wchar_t path[MAX_PATH] = {};
  return std::wstring(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
}

// Started under the tool's file name, this program is the tool's stand-in: it notes
// its working directory (or "arguments" when it got some) in a file beside itself,
// and ends before any test runs.
const bool standingInForTheTool = [] {
  const std::wstring self = OwnPath();
  const std::wstring dir = self.substr(0, self.find_last_of(L'\\'));
  if (self.substr(dir.size() + 1) != kToolFileName) return false;
  int argc = 0;
  LocalFree(CommandLineToArgvW(GetCommandLineW(), &argc));
  wchar_t cwd[MAX_PATH] = {};
  GetCurrentDirectoryW(MAX_PATH, cwd);
  if (FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"ab")) {
    std::fwprintf(file, L"%ls\n", argc == 1 ? cwd : L"arguments");
    std::fclose(file);
  }
  ExitProcess(0);
}();

void InstallToolStandIn(const Sandbox& sandbox, const std::wstring& dir) {
  sandbox.Install(OwnPath(), dir, kToolFileName);
}

// The working directory of each start of the stand-in in `dir`, when started without arguments.
std::vector<std::wstring> ToolStarts(const std::wstring& dir) {
  std::vector<std::wstring> starts;
  if (FILE* file = _wfopen(win32_ui::Join(dir, kStartsFile).c_str(), L"rb")) {
    for (wchar_t line[MAX_PATH + 2]; std::fgetws(line, MAX_PATH + 2, file) != nullptr;) {
      starts.emplace_back(line, std::wcslen(line) - 1);
    }
    std::fclose(file);
  }
  return starts;
}

// A host window that the launcher finds by its class, its title or both; it goes on
// its closeOn-th WM_CLOSE, or never (0).
struct HostWindow {
  enum Match { kClass, kTitle, kBoth } match;
  int closeOn;
  int received = 0;
};

// The pen's host application: top-level windows on `desktop`, served by a thread of
// this process, each counting the close requests it receives.
class Host {
 public:
  Host(HDESK desktop, std::vector<HostWindow> windows) : windows_(std::move(windows)) {
    HANDLE ready = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    thread_ = std::thread([this, desktop, ready] {
      win32_ui::AttachToDesktop(desktop);
      for (const wchar_t* name : {kHostClass, kOtherClass}) {
        WNDCLASSW wc{};
        wc.lpfnWndProc = &WndProc;
        wc.lpszClassName = name;
        RegisterClassW(&wc);  // fails harmlessly for the second host of a process
      }
      for (HostWindow& w : windows_) {
        // Hidden: the launcher's searches find them all the same.
        HWND hwnd = CreateWindowExW(0, w.match == HostWindow::kTitle ? kOtherClass : kHostClass,
                                    w.match == HostWindow::kClass ? L"host stand-in" : kHostTitle,
                                    WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&w));
      }
      MSG msg;
      PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE);  // the queue, for the thread messages below
      threadId_ = GetCurrentThreadId();
      SetEvent(ready);
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        // Posted after the requests that the test waits for: they have all been handled.
        if (msg.hwnd == nullptr && msg.message == WM_APP) SetEvent(synced_);
        DispatchMessageW(&msg);
      }
    });  // the thread's windows go with it
    WaitForSingleObject(ready, kDeadlineMs);
    CloseHandle(ready);
  }
  ~Host() {
    PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(synced_);
  }
  // Requests received by each window, once all those already posted are handled.
  std::vector<int> Received() const {
    PostThreadMessageW(threadId_, WM_APP, 0, 0);
    WaitForSingleObject(synced_, kDeadlineMs);
    std::vector<int> received;
    for (const HostWindow& w : windows_) received.push_back(w.received);
    return received;
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* w = reinterpret_cast<HostWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (w == nullptr || message != WM_CLOSE) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (++w->received == w->closeOn) DestroyWindow(hwnd);
    return 0;
  }

  std::vector<HostWindow> windows_;
  HANDLE synced_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  DWORD threadId_ = 0;
  std::thread thread_;
};

// Handover.exe copied into `dir` and started in `workingDir` (empty: `dir`), and its main dialog.
class Launcher {
 public:
  Launcher(const Sandbox& sandbox, const std::wstring& dir, const std::wstring& workingDir = L"")
      : process_(sandbox.Install(win32_ui::Shipped(HANDOVER_EXE), dir, L"Handover.exe"),
                 workingDir.empty() ? dir : workingDir, sandbox.desktopName()),
        dialog_(win32_ui::WaitForWindow(sandbox.desktop(), process_, L"Maravel_Firmware_Upgrade_Tool")) {}
  HWND dialog() const { return dialog_; }
  const win32_ui::Process& process() const { return process_; }
  // Clicks Upgrade and returns once its handler has, even after all the close loop's passes.
  bool ClickUpgrade() const {
    return win32_ui::SendWithin(GetDlgItem(dialog_, 1000), BM_CLICK, 0, 0, 3 * kMostPasses * 100 + kDeadlineMs);
  }
  // Still shown once Upgrade's handler has returned: ending the dialog would have hidden it.
  bool Stays() const { return (GetWindowLongW(dialog_, GWL_STYLE) & WS_VISIBLE) != 0 && process_.Running(); }
  void Command(UINT message, WPARAM wParam, LPARAM lParam = 0) const { PostMessageW(dialog_, message, wParam, lParam); }
  // Closes the dialog as its close box would; true once the launcher has ended.
  bool Close() const {
    Command(WM_SYSCOMMAND, SC_CLOSE);
    return process_.WaitForExit();
  }

 private:
  win32_ui::Process process_;
  HWND dialog_;
};

// The tool's path composed from the launcher's own: beside it, or nothing when
// either path would not fit in 260 characters.
const std::wstring kTool = kToolFileName;
const std::wstring kDir219 = L"C:\\" + std::wstring(216, L'd');

// The module's path as GetModuleFileNameW fills a buffer of 260, and the tool's path (empty: refused).
const std::pair<std::wstring, std::wstring> kPathCases[] = {
    {L"C:\\Pen\\Handover.exe", L"C:\\Pen\\" + kTool},
    {L"Handover.exe", L"Handover.exe\\" + kTool},  // no backslash: the whole path is the directory
    {kDir219 + L"\\Handover.exe", kDir219 + L"\\" + kTool},  // fills the 260 exactly
    {kDir219 + L"d\\Handover.exe", L""},
    {L"C:\\" + std::wstring(256, L'd'), L"C:\\" + kTool},  // 259 characters: whole
    {L"C:\\" + std::wstring(257, L'd'), L""},      // 260: cut short
    {L"", L""},
};

class ToolPath : public ::testing::TestWithParam<std::pair<std::wstring, std::wstring>> {};

TEST_P(ToolPath, SitsBesideTheLauncherWithinTheBuffer) {
  const auto& [modulePath, toolPath] = GetParam();
  // Sentinels past both buffers and in the tool's: nothing is written out of place.
  std::wstring module(kPathBufferChars + 4, L'#');
  std::wstring tool(kPathBufferChars + 4, L'#');
  const auto length = static_cast<DWORD>(std::min<std::size_t>(modulePath.size(), kPathBufferChars));
  module.replace(0, length, modulePath, 0, length);
  if (length < kPathBufferChars) module[length] = L'\0';
  EXPECT_EQ(ComposeToolPath(module.data(), length, tool.data()), !toolPath.empty());
  EXPECT_EQ(toolPath.empty() ? tool.substr(0, 1) : std::wstring(tool.c_str()), toolPath.empty() ? L"#" : toolPath);
  EXPECT_EQ(tool.substr(kPathBufferChars) + module.substr(kPathBufferChars), L"########");
}

INSTANTIATE_TEST_SUITE_P(Paths, ToolPath, ::testing::ValuesIn(kPathCases));

// The close loop of the Upgrade button, run with time scaled against host windows
// of this process: how many requests each window gets, how many 100 ms pauses the
// loop takes, and whether it hands over or gives up.
struct LoopCase {
  const char* name;
  std::vector<HostWindow> windows;
  double timeScale;  // short pauses where the host's speed cannot change the outcome
  int presses;
  bool handsOver;
  std::vector<int> received;
  int pauses;  // per press
};

const LoopCase kLoopCases[] = {
    {"NoHostNoPause", {}, 6000.0, 1, true, {}, 0},  // a pause would take ten minutes
    {"EachWindowOnePerPass", {{HostWindow::kClass, 3}, {HostWindow::kTitle, 5}}, 1.0, 1, true, {3, 5}, 5},
    {"WindowMatchingBothTwicePerPass", {{HostWindow::kBoth, 4}}, 1.0, 1, true, {4}, 2},
    {"GoesOnTheLastPass", {{HostWindow::kClass, kMostPasses}}, 0.25, 1, true, {kMostPasses}, kMostPasses},
    {"NeverGoesGivesUpAfterLastPass", {{HostWindow::kClass, 0}, {HostWindow::kTitle, 0}}, 0.01, 2, false,
     {2 * kMostPasses, 2 * kMostPasses}, kMostPasses},
    {"WindowMatchingBothNeverGoes", {{HostWindow::kBoth, 0}}, 0.01, 1, false, {2 * kMostPasses}, kMostPasses},
};

class CloseLoop : public ::testing::TestWithParam<LoopCase> {};

TEST_P(CloseLoop, AsksEachWindowUntilItGoes) {
  const LoopCase& c = GetParam();
  afx::SetTimeScale(c.timeScale);
  Sandbox sandbox(false);  // a desktop of its own: no other test's host windows
  Host host(sandbox.desktop(), c.windows);
  for (int press = 1; press <= c.presses; ++press) {
    SCOPED_TRACE(press);
    // On a thread of the desktop (FindWindowW searches the caller's), with state that
    // outlives it should it never return.
    struct Run {
      std::atomic<bool> handedOver{false};
      HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    };
    const auto run = std::make_shared<Run>();
    const auto start = std::chrono::steady_clock::now();
    std::thread([run, desktop = sandbox.desktop()] {
      if (win32_ui::AttachToDesktop(desktop)) run->handedOver = CloseHostWindows();
      SetEvent(run->done);
    }).detach();
    const bool returned = WaitForSingleObject(run->done, kDeadlineMs) == WAIT_OBJECT_0;
    const std::chrono::duration<double, std::milli> elapsed = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(returned) << "the loop paused without a host window";
    EXPECT_EQ(run->handedOver, c.handsOver);
    EXPECT_GE(elapsed.count(), c.pauses * 100 * c.timeScale * 0.95) << "fewer pauses of 100 ms than passes";
  }
  EXPECT_EQ(host.Received(), c.received);
}

INSTANTIATE_TEST_SUITE_P(Hosts, CloseLoop, ::testing::ValuesIn(kLoopCases),
                         [](const auto& row) { return std::string(row.param.name); });

struct Case {
  const char* name;
  std::vector<HostWindow> host;
  std::size_t dirLength;  // of the launcher's directory; 0: any
  bool toolInstalled;
  bool startsTool;
};

// The tool's path is the directory, a backslash and 39 characters of file name in
// 260 with the terminating zero: a directory of 219 fills them exactly.
const Case kCases[] = {
    {"HostGoesThenToolStarts", {{HostWindow::kClass, 2}, {HostWindow::kTitle, 1}}, 0, true, true},
    {"MissingToolStillEnds", {}, 0, false, true},
    {"DirectoryOf219Starts", {}, 219, true, true},
    {"DirectoryOf220StartsNothing", {}, 220, true, false},
    // 200 passes of 100 ms in real time, then the dialog stays for another try.
    {"HostThatNeverClosesStays", {{HostWindow::kClass, 0}, {HostWindow::kTitle, 0}}, 0, true, false},
};

class HandOver : public ::testing::TestWithParam<Case> {};

TEST_P(HandOver, StartsTheToolBesideItselfAndEnds) {
  const Case& c = GetParam();
  Sandbox sandbox;
  const std::wstring dir =
      sandbox.MakeDir(c.dirLength == 0 ? L"install" : std::wstring(c.dirLength - sandbox.dir().size() - 1, L'd'));
  const std::wstring workingDir = sandbox.MakeDir(L"elsewhere");
  if (c.toolInstalled) InstallToolStandIn(sandbox, dir);
  InstallToolStandIn(sandbox, workingDir);  // a decoy that must not be started
  Host host(sandbox.desktop(), c.host);
  Launcher launcher(sandbox, dir, workingDir);
  ASSERT_NE(launcher.dialog(), nullptr);
  ASSERT_TRUE(launcher.ClickUpgrade());

  if (c.startsTool) {
    EXPECT_TRUE(launcher.process().WaitForExit());
    // Given no working directory by the shell, the tool inherits the launcher's.
    EXPECT_TRUE(!c.toolInstalled || WaitUntil([&] { return ToolStarts(dir) == std::vector{workingDir}; }));
  } else {
    EXPECT_TRUE(launcher.Stays()) << "the dialog stays for another try";
    EXPECT_TRUE(launcher.Close());
  }
  EXPECT_EQ(ToolStarts(dir).size(), c.startsTool && c.toolInstalled ? 1u : 0u);
  EXPECT_TRUE(ToolStarts(workingDir).empty());
  std::vector<int> closedOn;
  for (const HostWindow& w : c.host) closedOn.push_back(w.closeOn == 0 ? kMostPasses : w.closeOn);
  EXPECT_EQ(host.Received(), closedOn);
}

INSTANTIATE_TEST_SUITE_P(Launcher, HandOver, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    // Wine ships no 宋体: let the installed CJK font answer to that name and stand
    // behind the caption and menu font, as on a Chinese system. Only pictures need it.
    constexpr wchar_t kFace[] = L"WenQuanYi Micro Hei";
    constexpr wchar_t kLink[] = L"wqy-microhei.ttc,WenQuanYi Micro Hei\0";
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes",
                    L"宋体", REG_SZ, kFace, sizeof kFace);
    RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink",
                    L"Tahoma", REG_MULTI_SZ, kLink, sizeof kLink);
    InstallToolStandIn(sandbox_, sandbox_.dir());
    launcher_ = std::make_unique<Launcher>(sandbox_, sandbox_.dir());
    ASSERT_NE(launcher_->dialog(), nullptr);
  }

  HWND Find(const wchar_t* text, bool byClass = false) const {
    return win32_ui::WaitForWindow(sandbox_.desktop(), launcher_->process(), text, byClass);
  }

  // The about box is modal over the main dialog, and OK returns to it.
  void ExpectAboutBoxReturnsToTheDialog(bool picture = false) const {
    const HWND about = Find(L"关于 Handover");
    ASSERT_NE(about, nullptr);
    if (picture) win32_ui::KeepPicture(sandbox_.desktop(), about, launcher_->dialog(), L"handover_about");
    EXPECT_EQ(GetWindow(about, GW_OWNER), launcher_->dialog());
    EXPECT_FALSE(IsWindowEnabled(launcher_->dialog()));
    PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about) && IsWindowEnabled(launcher_->dialog()); }));
    EXPECT_TRUE(launcher_->process().Running());
  }

  Sandbox sandbox_;
  std::unique_ptr<Launcher> launcher_;
};

TEST_F(Dialogs, OurSystemMenuEntryAndItsCommandOpenTheAboutBox) {
  win32_ui::KeepPicture(sandbox_.desktop(), launcher_->dialog(), nullptr, L"handover_main");
  // Alt+Space opens the system menu on its first entry; Up wraps round to the last
  // one, ours, and Enter chooses it. (Its access key cannot be used: Wine's own
  // "About Wine" entry above it has the same one.)
  launcher_->Command(WM_SYSCOMMAND, SC_KEYMENU, L' ');
  ASSERT_NE(Find(L"#32768", true), nullptr);  // the menu takes keys only once it is up
  launcher_->Command(WM_KEYDOWN, VK_UP);
  launcher_->Command(WM_KEYDOWN, VK_RETURN);
  ExpectAboutBoxReturnsToTheDialog(true);
  launcher_->Command(WM_SYSCOMMAND, 0x001F);  // the low four bits are the system's
  ExpectAboutBoxReturnsToTheDialog();
}

TEST_F(Dialogs, CloseBoxAndEscapeEndWithoutTheTool) {
  EXPECT_TRUE(launcher_->Close());
  Launcher again(sandbox_, sandbox_.dir());
  ASSERT_NE(again.dialog(), nullptr);
  again.Command(WM_COMMAND, IDCANCEL);
  EXPECT_TRUE(again.process().WaitForExit());
  EXPECT_TRUE(ToolStarts(sandbox_.dir()).empty());
}

}  // namespace
