// Handover.exe as shipped, driven through its dialog: once the host's windows have
// gone it starts the tool beside itself, bare, and ends; when it cannot, it stays.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

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
};

class HandOver : public ::testing::TestWithParam<Case> {};

TEST_P(HandOver, StartsTheToolBesideItselfAndEnds) {
  const Case& c = GetParam();
  Sandbox sandbox;
  std::wstring relative = L"install";
  for (std::size_t length = sandbox.dir().size() + 1 + relative.size(); length < c.dirLength; length += 2) {
    relative += length + 1 == c.dirLength ? L"d" : L"\\d";
  }
  const std::wstring dir = sandbox.MakeDir(relative);
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
    // Given no working directory by the shell, the tool inherits the launcher's.
    EXPECT_TRUE(!c.toolInstalled || WaitUntil([&] { return ToolStarts(dir) == std::vector{workingDir}; }));
  } else {
    EXPECT_TRUE(launcher.Stays()) << "the dialog stays for another try";
    launcher.Command(WM_SYSCOMMAND, SC_CLOSE);
    EXPECT_TRUE(launcher.process().WaitForExit());
  }
  EXPECT_EQ(ToolStarts(dir).size(), c.startsTool && c.toolInstalled ? 1u : 0u);
  EXPECT_TRUE(ToolStarts(workingDir).empty());
  std::vector<int> closedOn;
  for (const HostWindow& w : c.host) closedOn.push_back(w.closeOn);
  EXPECT_EQ(host.Received(), closedOn);
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
  EXPECT_TRUE(launcher.Stays());
  EXPECT_EQ(host.Received(), (std::vector<int>{kMostPasses, kMostPasses}));
  launcher.Command(WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_TRUE(ToolStarts(sandbox.dir()).empty());
}

}  // namespace
}  // namespace handover_test
