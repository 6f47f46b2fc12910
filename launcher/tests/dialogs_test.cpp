// The main dialog's system menu and about box, and the ways out that start nothing.
// Keeps pictures of the main dialog and of the about box.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

using win32_ui::FindProcessWindow;

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
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindProcessWindow(sandbox_.desktop(), launcher_->process().id(), text, byClass)); });
    return found;
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

TEST_F(Dialogs, OurSystemMenuEntryOpensTheAboutBox) {
  win32_ui::KeepPicture(sandbox_.desktop(), launcher_->dialog(), nullptr, L"handover_main");
  // Alt+Space opens the system menu on its first entry; Up wraps round to the last
  // one, ours, and Enter chooses it. (Its access key cannot be used: Wine's own
  // "About Wine" entry above it has the same one.)
  launcher_->Command(WM_SYSCOMMAND, SC_KEYMENU, L' ');
  ASSERT_NE(Find(L"#32768", true), nullptr);  // the menu takes keys only once it is up
  launcher_->Command(WM_KEYDOWN, VK_UP);
  launcher_->Command(WM_KEYDOWN, VK_RETURN);
  ExpectAboutBoxReturnsToTheDialog(true);
}

TEST_F(Dialogs, AboutCommandOpensTheAboutBoxWhateverItsLowBits) {
  for (WPARAM command : {WPARAM{0x0010}, WPARAM{0x001F}}) {
    launcher_->Command(WM_SYSCOMMAND, command);
    ExpectAboutBoxReturnsToTheDialog();
  }
}

TEST_F(Dialogs, CloseBoxAndEscapeEndWithoutTheTool) {
  launcher_->Command(WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(launcher_->process().WaitForExit());
  Launcher again(sandbox_, sandbox_.dir());
  ASSERT_NE(again.dialog(), nullptr);
  again.Command(WM_COMMAND, IDCANCEL);
  EXPECT_TRUE(again.process().WaitForExit());
  EXPECT_TRUE(ToolStarts(sandbox_.dir()).empty());
}

}  // namespace
}  // namespace handover_test
