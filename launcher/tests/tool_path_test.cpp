// The tool's path composed from the launcher's own: beside it, or nothing when
// either path would not fit in 260 characters.
#include <gtest/gtest.h>

#include <string>

#include "launcher/tool_launch.h"

namespace {

const std::wstring kTool = L"Maravel_Firmware_Upgrade_Tool_v3.18.exe";
const std::wstring kDir219 = L"C:\\" + std::wstring(216, L'd');

// The module's path as GetModuleFileNameW fills a buffer of 260, and the tool's path (empty: refused).
const std::pair<std::wstring, std::wstring> kCases[] = {
    {L"C:\\Pen\\Handover.exe", L"C:\\Pen\\" + kTool},
    {L"Handover.exe", L"Handover.exe\\" + kTool},  // no backslash: the whole path is the directory
    {kDir219 + L"\\Handover.exe", kDir219 + L"\\" + kTool},  // fills the 260 exactly
    {kDir219 + L"d\\Handover.exe", L""},
    {L"C:\\" + std::wstring(256, L'd'), L"C:\\" + kTool},  // 259 characters: whole
    {L"C:\\" + std::wstring(257, L'd'), L""},                // 260: cut short
    {L"", L""},
};

class ToolPath : public ::testing::TestWithParam<std::pair<std::wstring, std::wstring>> {};

TEST_P(ToolPath, SitsBesideTheLauncherWithinTheBuffer) {
  const auto& [modulePath, toolPath] = GetParam();
  // Sentinels past both buffers and in the tool's: nothing is written out of place.
  std::wstring module(PATH_BUFFER_CHARS + 4, L'#');
  std::wstring tool(PATH_BUFFER_CHARS + 4, L'#');
  const auto length = static_cast<DWORD>(std::min<std::size_t>(modulePath.size(), PATH_BUFFER_CHARS));
  module.replace(0, length, modulePath, 0, length);
  if (length < PATH_BUFFER_CHARS) module[length] = L'\0';
  EXPECT_EQ(ComposeToolPath(module.data(), length, tool.data()), !toolPath.empty());
  EXPECT_EQ(toolPath.empty() ? tool.substr(0, 1) : std::wstring(tool.c_str()), toolPath.empty() ? L"#" : toolPath);
  EXPECT_EQ(tool.substr(PATH_BUFFER_CHARS) + module.substr(PATH_BUFFER_CHARS), L"########");
}

INSTANTIATE_TEST_SUITE_P(Paths, ToolPath, ::testing::ValuesIn(kCases));

}  // namespace
