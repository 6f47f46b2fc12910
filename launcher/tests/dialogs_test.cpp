// The main dialog as the user sees it, its system menu and the about box.
#include <gtest/gtest.h>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

class Dialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    sandbox_.InstallTool(sandbox_.dir());
    launcher_ = std::make_unique<Launcher>(sandbox_, sandbox_.InstallLauncher(sandbox_.dir()));
    ASSERT_NE(launcher_->dialog(), nullptr);
  }

  HWND WaitForAboutBox() const {
    HWND about = nullptr;
    WaitUntil([&] {
      about = FindProcessWindow(sandbox_.desktop(), launcher_->process().id(), kAboutCaption);
      return about != nullptr;
    });
    return about;
  }

  // Closes the about box with its OK button and checks that the main dialog carries on.
  void CloseAboutBox(HWND about) const {
    PostMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(launcher_->Send(WM_NULL, 0, 0));
    EXPECT_TRUE(IsShown(launcher_->dialog()));
  }

  Sandbox sandbox_;
  std::unique_ptr<Launcher> launcher_;
};

TEST_F(Dialogs, MainDialogOffersOneUpgradeButtonAndANotice) {
  EXPECT_EQ(GetWindowLongW(launcher_->dialog(), GWL_STYLE) & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
  EXPECT_TRUE(GetWindowLongW(launcher_->dialog(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  const auto children = Children(launcher_->dialog());
  ASSERT_EQ(children.size(), 2u);
  EXPECT_EQ(children[0].id, 1000);
  EXPECT_EQ(children[0].text, L"Upgrade");
  EXPECT_EQ(children[0].style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(Lower(children[1].className), L"static");
  EXPECT_NE(children[1].text.find(L'\n'), std::wstring::npos) << "a notice of two lines";
}

TEST_F(Dialogs, AboutCommandsOpenTheAboutBoxWithItsTexts) {
  for (WPARAM command : {WPARAM{0x0010}, WPARAM{0x001F}}) {
    SCOPED_TRACE(command);
    launcher_->SystemCommand(command);
    const HWND about = WaitForAboutBox();
    ASSERT_NE(about, nullptr);
    // Modal over the main dialog, though built without a parent.
    EXPECT_EQ(GetWindow(about, GW_OWNER), launcher_->dialog());
    EXPECT_FALSE(IsWindowEnabled(launcher_->dialog()));
    const auto children = Children(about);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(children[0].style & SS_TYPEMASK, SS_ICON);
    EXPECT_NE(SendMessageW(children[0].hwnd, STM_GETICON, 0, 0), 0);
    EXPECT_EQ(children[1].text, L"Handover 1.0 版");
    EXPECT_FALSE(children[2].text.empty());
    EXPECT_EQ(children[3].id, IDOK);
    EXPECT_EQ(children[3].text, L"确定");
    CloseAboutBox(about);
  }
  EXPECT_TRUE(launcher_->process().Running());
}

TEST_F(Dialogs, LastEntryOfTheSystemMenuOpensTheAboutBox) {
  // Alt+Space opens the system menu on its first entry; Up wraps round to the
  // last one, ours, and Enter chooses it. (Its access key "A" cannot be used
  // here: Wine's own "About Wine" entry above it has the same one.)
  PostMessageW(launcher_->dialog(), WM_SYSCOMMAND, SC_KEYMENU, L' ');
  // The menu takes keys only once it is up.
  ASSERT_TRUE(WaitUntil([&] {
    return FindProcessWindowOfClass(sandbox_.desktop(), launcher_->process().id(), L"#32768") != nullptr;
  }));
  PostMessageW(launcher_->dialog(), WM_KEYDOWN, VK_UP, 0);
  PostMessageW(launcher_->dialog(), WM_KEYDOWN, VK_RETURN, 0);
  const HWND about = WaitForAboutBox();
  ASSERT_NE(about, nullptr);
  CloseAboutBox(about);
}

TEST_F(Dialogs, OtherSystemCommandsGetDefaultProcessing) {
  // Sent: an about box would hold the call in its modal loop.
  EXPECT_TRUE(launcher_->Send(WM_SYSCOMMAND, 0x0020, 0));
  EXPECT_EQ(FindProcessWindow(sandbox_.desktop(), launcher_->process().id(), kAboutCaption), nullptr);

  launcher_->SystemCommand(SC_CLOSE);
  EXPECT_TRUE(launcher_->process().WaitForExit());
  EXPECT_TRUE(ReadToolStarts(sandbox_.dir()).empty());
}

TEST_F(Dialogs, EscapeCancelsWithoutStartingTheTool) {
  PostMessageW(launcher_->dialog(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  EXPECT_TRUE(launcher_->process().WaitForExit());
  EXPECT_TRUE(ReadToolStarts(sandbox_.dir()).empty());
}

}  // namespace
}  // namespace handover_test
