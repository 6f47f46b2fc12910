// Handover.exe as shipped, driven through its dialog: once the host's windows have
// gone it starts the tool beside itself, bare, and ends; when it cannot, it stays.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

// A directory of the sandbox whose full path is exactly `length` characters.
std::wstring DirOfLength(const Sandbox& sandbox, std::size_t length) {
  std::wstring relative;
  for (std::size_t remaining = length - sandbox.dir().size(); remaining > 0;) {
    std::size_t part = std::min<std::size_t>(remaining - 1, 80);
    if (remaining - 1 - part == 1) --part;  // "\x" needs two characters: never leave one over
    relative += L"\\" + std::wstring(part, L'd');
    remaining -= part + 1;
  }
  return sandbox.MakeDir(relative);
}

struct Case {
  const char* name;
  std::vector<HostWindow> host;
  std::size_t dirLength;  // 0: the sandbox's own directory
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
};

class HandOver : public ::testing::TestWithParam<Case> {};

TEST_P(HandOver, StartsTheToolBesideItselfAndEnds) {
  const Case& c = GetParam();
  Sandbox sandbox;
  const std::wstring dir = c.dirLength == 0 ? sandbox.MakeDir(L"install") : DirOfLength(sandbox, c.dirLength);
  ASSERT_EQ(dir.size(), c.dirLength == 0 ? dir.size() : c.dirLength);
  const std::wstring workingDir = sandbox.MakeDir(L"elsewhere");
  if (c.toolInstalled) InstallToolStandIn(sandbox, dir);
  InstallToolStandIn(sandbox, workingDir);  // a decoy that must not be started
  Host host(sandbox.desktop(), c.host);
  Launcher launcher(sandbox, dir, workingDir);
  ASSERT_NE(launcher.dialog(), nullptr);
  ASSERT_TRUE(launcher.ClickUpgrade());

  if (c.startsTool) {
    EXPECT_TRUE(launcher.process().WaitForExit());
    if (c.toolInstalled) {
      ASSERT_TRUE(WaitUntil([&] { return !ToolStarts(dir).empty(); })) << "the tool was not started";
      const auto starts = ToolStarts(dir);
      ASSERT_EQ(starts.size(), 1u);
      EXPECT_EQ(starts[0].argc, 1) << "no arguments";
      // No working directory is given to the shell: the tool inherits the launcher's.
      EXPECT_EQ(win32_ui::Lower(starts[0].workingDir), win32_ui::Lower(workingDir));
    }
  } else {
    EXPECT_TRUE(IsWindow(launcher.dialog())) << "the dialog must stay for another try";
    launcher.SystemCommand(SC_CLOSE);
    EXPECT_TRUE(launcher.process().WaitForExit());
    EXPECT_TRUE(ToolStarts(dir).empty());
  }
  EXPECT_TRUE(ToolStarts(workingDir).empty());
  for (const HostWindow& w : c.host) {
    EXPECT_EQ(host.Received()[&w - c.host.data()], w.closeOn);
  }
}

INSTANTIATE_TEST_SUITE_P(Launcher, HandOver, ::testing::ValuesIn(kCases),
                         [](const auto& row) { return std::string(row.param.name); });

// 200 passes of 100 ms in real time: a CTest entry of its own runs it beside the others.
TEST(HostThatNeverCloses, GetsTwoHundredRequestsAndTheDialogStays) {
  Sandbox sandbox;
  InstallToolStandIn(sandbox, sandbox.dir());
  Host host(sandbox.desktop(), {{HostWindow::kClass, 0}, {HostWindow::kTitle, 0}});
  Launcher launcher(sandbox, sandbox.dir());
  ASSERT_NE(launcher.dialog(), nullptr);
  ASSERT_TRUE(launcher.ClickUpgrade(3 * kMostPasses * 100 + kDeadlineMs));
  EXPECT_TRUE(IsWindow(launcher.dialog()));
  EXPECT_EQ(host.Received(), (std::vector<int>{kMostPasses, kMostPasses}));
  launcher.SystemCommand(SC_CLOSE);
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_TRUE(ToolStarts(sandbox.dir()).empty());
}

}  // namespace
}  // namespace handover_test
