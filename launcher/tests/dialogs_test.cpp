// The main dialog's system menu and the about box, and the ways out that start
// nothing. Keeps pictures of the main dialog and the about box.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

using win32_ui::FindProcessWindow;
using win32_ui::KeepPicture;
using win32_ui::WindowRect;

constexpr wchar_t kAboutCaption[] = L"关于 Handover";

// Wine ships no 宋体: let the installed CJK font answer to that name and stand
// behind the caption and menu font, as on a Chinese system. Only the pictures need it.
void UseCjkFont() {
  constexpr wchar_t kFonts[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  constexpr wchar_t kFace[] = L"WenQuanYi Micro Hei";
  constexpr wchar_t kLink[] = L"wqy-microhei.ttc,WenQuanYi Micro Hei\0";
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(kFonts) + L"FontSubstitutes").c_str(), L"宋体", REG_SZ, kFace,
                  sizeof kFace);
  RegSetKeyValueW(HKEY_LOCAL_MACHINE, (std::wstring(kFonts) + L"FontLink\\SystemLink").c_str(), L"Tahoma",
                  REG_MULTI_SZ, kLink, sizeof kLink);
}

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    UseCjkFont();
    InstallToolStandIn(sandbox_, sandbox_.dir());
    launcher_ = std::make_unique<Launcher>(sandbox_, sandbox_.dir());
    ASSERT_NE(launcher_->dialog(), nullptr);
  }

  HWND WaitForAboutBox() const {
    HWND about = nullptr;
    WaitUntil([&] { return (about = FindProcessWindow(sandbox_.desktop(), launcher_->process().id(), kAboutCaption)); });
    return about;
  }

  // The about box is modal over the main dialog, and OK returns to it.
  void ExpectAboutBoxReturnsToTheDialog(HWND about) const {
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(GetWindow(about, GW_OWNER), launcher_->dialog());
    EXPECT_FALSE(IsWindowEnabled(launcher_->dialog()));
    PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(launcher_->dialog()) != FALSE; }));
    EXPECT_TRUE(launcher_->process().Running());
  }

  void ExpectEndsWithoutTool() {
    EXPECT_TRUE(launcher_->process().WaitForExit());
    EXPECT_TRUE(ToolStarts(sandbox_.dir()).empty());
  }

  Sandbox sandbox_;
  std::unique_ptr<Launcher> launcher_;
};

TEST_F(Dialogs, OurSystemMenuEntryOpensTheAboutBox) {
  KeepPicture(sandbox_.desktop(), launcher_->dialog(), WindowRect(launcher_->dialog()), L"handover_main");
  // Alt+Space opens the system menu on its first entry; Up wraps round to the
  // last one, ours, and Enter chooses it. (Its access key cannot be used: Wine's
  // own "About Wine" entry above it has the same one.)
  PostMessageW(launcher_->dialog(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
  ASSERT_TRUE(WaitUntil([&] {  // the menu takes keys only once it is up
    return FindProcessWindow(sandbox_.desktop(), launcher_->process().id(), L"#32768", true) != nullptr;
  }));
  PostMessageW(launcher_->dialog(), WM_KEYDOWN, VK_UP, 0);
  PostMessageW(launcher_->dialog(), WM_KEYDOWN, VK_RETURN, 0);
  const HWND about = WaitForAboutBox();
  if (about != nullptr) {
    KeepPicture(sandbox_.desktop(), about, win32_ui::Union(WindowRect(launcher_->dialog()), WindowRect(about)),
                L"handover_about");
  }
  ExpectAboutBoxReturnsToTheDialog(about);
}

TEST_F(Dialogs, AboutCommandOpensTheAboutBoxWhateverItsLowBits) {
  for (WPARAM command : {WPARAM{0x0010}, WPARAM{0x001F}}) {
    SCOPED_TRACE(command);
    launcher_->SystemCommand(command);
    ExpectAboutBoxReturnsToTheDialog(WaitForAboutBox());
  }
}

TEST_F(Dialogs, CloseBoxEndsWithoutTheTool) {
  launcher_->SystemCommand(SC_CLOSE);
  ExpectEndsWithoutTool();
}

TEST_F(Dialogs, EscapeEndsWithoutTheTool) {
  PostMessageW(launcher_->dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  ExpectEndsWithoutTool();
}

}  // namespace
}  // namespace handover_test
