// The tool's path from the launcher's own: directory rules and the 260-character limit.
#include <gtest/gtest.h>

#include <string>

#include "launcher/tool_launch.h"

namespace {

struct Composed {
  bool ok;
  std::wstring path;
};

// Fills a buffer as GetModuleFileNameW would (cut to the buffer, length returned).
Composed Compose(const std::wstring& modulePath) {
  wchar_t module[PATH_BUFFER_CHARS + 8];
  std::fill(std::begin(module), std::end(module), L'#');
  const DWORD copied = static_cast<DWORD>(std::min<std::size_t>(modulePath.size(), PATH_BUFFER_CHARS));
  modulePath.copy(module, copied);
  if (copied < PATH_BUFFER_CHARS) module[copied] = L'\0';
  wchar_t tool[PATH_BUFFER_CHARS + 8];
  std::fill(std::begin(tool), std::end(tool), L'#');
  const bool ok = ComposeToolPath(module, copied, tool);
  for (std::size_t i = PATH_BUFFER_CHARS; i < std::size(tool); ++i) {
    EXPECT_EQ(tool[i], L'#') << "written past the tool's buffer";
    EXPECT_EQ(module[i], L'#') << "written past the module's buffer";
  }
  if (!ok) {
    EXPECT_EQ(tool[0], L'#') << "a failed composition leaves the tool's buffer alone";
  }
  return {ok, ok ? std::wstring(tool) : std::wstring()};
}

TEST(ToolPath, ToolSitsBesideTheLauncher) {
  const Composed c = Compose(L"C:\\Program Files\\Pen\\Handover.exe");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.path, L"C:\\Program Files\\Pen\\Maravel_Firmware_Upgrade_Tool_v3.18.exe");
}

TEST(ToolPath, PathWithoutBackslashServesWholeAsTheDirectory) {
  const Composed c = Compose(L"Handover.exe");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.path, L"Handover.exe\\Maravel_Firmware_Upgrade_Tool_v3.18.exe");
}

TEST(ToolPath, DirectoryOf219CharactersFillsTheBufferExactly) {
  const std::wstring dir = L"C:\\" + std::wstring(216, L'd');
  const Composed c = Compose(dir + L"\\Handover.exe");
  EXPECT_TRUE(c.ok);
  EXPECT_EQ(c.path.size(), PATH_BUFFER_CHARS - 1);
  EXPECT_EQ(c.path, dir + L"\\" + TOOL_FILE_NAME);
}

TEST(ToolPath, DirectoryOf220CharactersIsRefused) {
  EXPECT_FALSE(Compose(L"C:\\" + std::wstring(217, L'd') + L"\\Handover.exe").ok);
}

TEST(ToolPath, TruncatedOrMissingModulePathIsRefused) {
  EXPECT_FALSE(Compose(L"C:\\" + std::wstring(300, L'd') + L"\\Handover.exe").ok);
  EXPECT_FALSE(Compose(L"C:\\" + std::wstring(PATH_BUFFER_CHARS - 3, L'd')).ok);  // exactly the buffer
  wchar_t module[PATH_BUFFER_CHARS] = {};
  wchar_t tool[PATH_BUFFER_CHARS] = {};
  EXPECT_FALSE(ComposeToolPath(module, 0, tool));
}

}  // namespace
