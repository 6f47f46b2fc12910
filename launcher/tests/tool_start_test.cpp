// Where the launcher looks for the tool, and what it does when it cannot find a
// usable path to it.
#include <gtest/gtest.h>

#include <algorithm>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

// A directory inside the sandbox whose full path is exactly `length` characters.
std::wstring DirOfLength(const Sandbox& sandbox, std::size_t length) {
  std::wstring relative;
  std::size_t remaining = length - sandbox.dir().size();
  while (remaining > 0) {
    std::size_t part = std::min<std::size_t>(remaining - 1, 80);
    if (remaining - 1 - part == 1) --part;  // "\x" needs two characters: never leave one over
    relative += L"\\" + std::wstring(part, L'd');
    remaining -= part + 1;
  }
  return sandbox.MakeDir(relative);
}

class ToolStart : public ::testing::Test {
 protected:
  Sandbox sandbox_;
};

TEST_F(ToolStart, MissingToolStillEndsTheLauncher) {
  Launcher launcher(sandbox_, sandbox_.InstallLauncher(sandbox_.dir()));
  ASSERT_NE(launcher.dialog(), nullptr);
  launcher.PressUpgrade();
  EXPECT_TRUE(launcher.process().WaitForExit());
}

TEST_F(ToolStart, ToolComesFromTheLauncherDirectoryNotTheWorkingDirectory) {
  const std::wstring installDir = sandbox_.MakeDir(L"install");
  const std::wstring workingDir = sandbox_.MakeDir(L"elsewhere");
  sandbox_.InstallTool(installDir);
  sandbox_.InstallTool(workingDir);  // a decoy that must not be started
  Launcher launcher(sandbox_, sandbox_.InstallLauncher(installDir), workingDir);
  ASSERT_NE(launcher.dialog(), nullptr);
  launcher.PressUpgrade();
  EXPECT_TRUE(launcher.process().WaitForExit());
  const auto starts = WaitForToolStarts(installDir);
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].argc, 1);
  // No working directory is given to the shell, so the tool inherits the launcher's.
  EXPECT_EQ(Lower(starts[0].workingDir), Lower(workingDir));
  EXPECT_TRUE(ReadToolStarts(workingDir).empty());
}

// The tool's path takes the directory, a backslash, 39 characters of file name and
// the terminating zero: a directory of 219 characters fills the 260 exactly.
TEST_F(ToolStart, PathThatJustFitsTheBufferStartsTheTool) {
  const std::wstring dir = DirOfLength(sandbox_, 219);
  ASSERT_EQ(dir.size(), 219u);
  sandbox_.InstallTool(dir);
  Launcher launcher(sandbox_, sandbox_.InstallLauncher(dir));
  ASSERT_NE(launcher.dialog(), nullptr);
  launcher.PressUpgrade();
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_EQ(WaitForToolStarts(dir).size(), 1u);
}

TEST_F(ToolStart, PathOneCharacterTooLongStartsNothingAndKeepsTheDialog) {
  const std::wstring dir = DirOfLength(sandbox_, 220);
  ASSERT_EQ(dir.size(), 220u);
  sandbox_.InstallTool(dir);
  Launcher launcher(sandbox_, sandbox_.InstallLauncher(dir));
  ASSERT_NE(launcher.dialog(), nullptr);
  ASSERT_TRUE(launcher.PressUpgradeAndWait());
  EXPECT_TRUE(IsWindow(launcher.dialog()));
  EXPECT_TRUE(launcher.process().Running());
  EXPECT_TRUE(ReadToolStarts(dir).empty());

  // The user can still leave through the close box.
  PostMessageW(launcher.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_TRUE(launcher.process().WaitForExit());
  EXPECT_TRUE(ReadToolStarts(dir).empty());
}

}  // namespace
}  // namespace handover_test
