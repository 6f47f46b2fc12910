#include "launcher/tests/launcher_harness.h"

#include <cstdio>
#include <sstream>

namespace handover_test {

using win32_ui::FromUtf8;
using win32_ui::ReadAll;

std::vector<ToolStart> ReadToolStarts(const std::wstring& toolDir) {
  std::vector<ToolStart> starts;
  std::istringstream lines(ReadAll(Join(toolDir, L"tool_starts.txt")));
  std::string line;
  while (std::getline(lines, line)) {
    const std::wstring wide = FromUtf8(line);
    const std::size_t args = wide.find(L"|args=");
    const std::size_t cwd = wide.find(L"|cwd=");
    if (wide.rfind(L"argc=", 0) != 0 || args == std::wstring::npos || cwd == std::wstring::npos) continue;
    ToolStart start;
    start.argc = std::stoi(wide.substr(5, args - 5));
    start.args = wide.substr(args + 6, cwd - args - 6);
    start.workingDir = wide.substr(cwd + 5);
    starts.push_back(start);
  }
  return starts;
}

std::vector<ToolStart> WaitForToolStarts(const std::wstring& toolDir) {
  std::vector<ToolStart> starts;
  WaitUntil([&] {
    starts = ReadToolStarts(toolDir);
    return !starts.empty();
  });
  return starts;
}

Host::Host(const Sandbox& sandbox, const std::vector<std::wstring>& windows)
    : countsPath_(Join(sandbox.dir(), L"host_counts.txt")),
      process_(Join(BuildDir(), L"host_standin.exe"),
               [&] {
                 std::wstring arguments = L"\"" + Join(sandbox.dir(), L"host_counts.txt") + L"\"";
                 for (const std::wstring& w : windows) arguments += L" " + w;
                 return arguments;
               }(),
               sandbox.dir(), sandbox.desktopName()) {
  ready_ = process_.started() && WaitUntil([&] { return Counts().size() == windows.size(); });
}

std::map<std::wstring, int> Host::Counts() const {
  std::map<std::wstring, int> counts;
  std::istringstream lines(ReadAll(countsPath_));
  std::string kind;
  int received = 0;
  while (lines >> kind >> received) counts[FromUtf8(kind)] = received;
  return counts;
}

bool Host::WaitForCounts(const std::map<std::wstring, int>& expected, DWORD timeoutMs) const {
  return WaitUntil([&] { return Counts() == expected; }, timeoutMs);
}

Launcher::Launcher(const Sandbox& sandbox, const std::wstring& exePath, const std::wstring& workingDir)
    : sandbox_(sandbox), process_(exePath, L"", workingDir, sandbox.desktopName()) {
  if (process_.started()) {
    WaitUntil([&] {
      dialog_ = FindProcessWindow(sandbox_.desktop(), process_.id(), kMainCaption);
      return dialog_ != nullptr || !process_.Running();
    });
  }
  if (dialog_ == nullptr) {
    std::fwprintf(stderr, L"launcher %ls: started %d, running %d, no dialog on desktop %ls\n", exePath.c_str(),
                  process_.started(), process_.Running(), sandbox_.desktopName().c_str());
  }
}

void Launcher::PressUpgrade() const {
  PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog_, 1000)));
}

void Launcher::ClickUpgradeButton() const { PostMessageW(GetDlgItem(dialog_, 1000), BM_CLICK, 0, 0); }

void Launcher::SystemCommand(WPARAM command) const { PostMessageW(dialog_, WM_SYSCOMMAND, command, 0); }

bool Launcher::PressUpgradeAndWait(DWORD timeoutMs) const {
  return Send(WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog_, 1000)),
              timeoutMs);
}

bool Launcher::Send(UINT message, WPARAM wParam, LPARAM lParam, DWORD timeoutMs) const {
  return win32_ui::SendWithin(dialog_, message, wParam, lParam, timeoutMs);
}

}  // namespace handover_test
