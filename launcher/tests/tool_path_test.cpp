// The tool's path composed from the launcher's own: beside it, or nothing when
// either path would not fit in 260 characters.
#include <gtest/gtest.h>

#include <string>

#include "launcher/tool_launch.h"

namespace {

struct Case {
  std::wstring modulePath;  // as GetModuleFileNameW would fill a buffer of 260
  std::wstring toolPath;    // empty: refused
};

const std::wstring kTool = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
const std::wstring kDir219 = L"C:\\" + std::wstring(216, L'd');

const Case kCases[] = {
    {L"C:\\Program Files\\Pen\\Handover.exe", L"C:\\Program Files\\Pen\\" + kTool},
    {L"Handover.exe", L"Handover.exe\\" + kTool},  // no backslash: the whole path is the directory
    {kDir219 + L"\\Handover.exe", kDir219 + L"\\" + kTool},  // fills the 260 exactly
    {kDir219 + L"d\\Handover.exe", L""},
    {L"C:\\" + std::wstring(256, L'd'), L"C:\\" + kTool},  // 259 characters: whole
    {L"C:\\" + std::wstring(257, L'd'), L""},  // 260: cut short
    {L"", L""},                                // no path at all
};

class ToolPath : public ::testing::TestWithParam<Case> {};

TEST_P(ToolPath, SitsBesideTheLauncherWithinTheBuffer) {
  const Case& c = GetParam();
  // Sentinels past both buffers and in the tool's: nothing is written out of place.
  wchar_t module[PATH_BUFFER_CHARS + 4];
  wchar_t tool[PATH_BUFFER_CHARS + 4];
  std::fill(std::begin(module), std::end(module), L'#');
  std::fill(std::begin(tool), std::end(tool), L'#');
  const auto length = static_cast<DWORD>(std::min<std::size_t>(c.modulePath.size(), PATH_BUFFER_CHARS));
  c.modulePath.copy(module, length);
  if (length < PATH_BUFFER_CHARS) module[length] = L'\0';
  const bool composed = ComposeToolPath(module, length, tool);
  EXPECT_EQ(composed, !c.toolPath.empty());
  EXPECT_EQ(composed ? std::wstring(tool) : std::wstring(tool, 1), composed ? c.toolPath : L"#");
  EXPECT_EQ(std::wstring(tool + PATH_BUFFER_CHARS, 4) + std::wstring(module + PATH_BUFFER_CHARS, 4), L"########");
}

INSTANTIATE_TEST_SUITE_P(Paths, ToolPath, ::testing::ValuesIn(kCases));

}  // namespace
