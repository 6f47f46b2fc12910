// What the dialog shows when it opens, for each set of pens on the bus.
#include "tool/tests/dialog_fixture.h"

namespace {

using StartupTest = DialogTest;

TEST_F(StartupTest, WithNoPenShowsTheImageVersionAndDisablesStart) {
  const HWND dialog = OpenDialog();
  EXPECT_EQ(ui::GetDialogState(dialog)->title, "Maravel Firmware Upgrade Tool - 3.18");
  EXPECT_EQ(Status(), "Current SW version: ----- - New SW version : 3.18");
  EXPECT_FALSE(StartEnabled());
  EXPECT_TRUE(ExitEnabled());
  EXPECT_EQ(ui::GetProgressPos(dialog, IDC_PROGRESS), 0);
  EXPECT_EQ(ui::GetProgressRange(dialog, IDC_PROGRESS), std::make_pair(0, 1000));
  EXPECT_FALSE(ui::IsControlVisible(dialog, IDC_DBG));
  EXPECT_FALSE(ui::IsControlVisible(dialog, IDC_DBG_BT));
}

// Only exactly one pen of the supported product is opened; product ids that
// share either byte with the supported one are foreign all the same.
TEST_F(StartupTest, OpensOnlyASingleSupportedPen) {
  struct Case {
    std::vector<std::uint16_t> pens;
    bool opened;
  };
  for (const Case& c : {Case{{0x0204}, true}, Case{{0x0204, 0x0204}, false}, Case{{0x0205}, false},
                        Case{{0x0304}, false}, Case{{0x0004}, false}, Case{{0x0200}, false}}) {
    SCOPED_TRACE(::testing::Message() << c.pens.size() << " pen(s), first 0x" << std::hex << c.pens[0]);
    std::vector<std::shared_ptr<virtualpen::VirtualPen>> pens;
    for (std::uint16_t product : c.pens) {
      virtualpen::PenOptions options;
      options.productId = product;
      pens.push_back(PlugPen(options));
    }
    OpenDialog();
    EXPECT_EQ(Status(), c.opened ? "Current SW version: 3.10 - New SW version : 3.18"
                                 : "Current SW version: ----- - New SW version : 3.18");
    EXPECT_EQ(StartEnabled(), c.opened);
    EXPECT_EQ(Watch().PenHandle() != nullptr, c.opened);
    ClickExit();
    for (const auto& pen : pens) Bus()->Unplug(pen);
  }
}

// A descriptor read that the driver holds ends at the channel's limit, and the
// dialog goes on to show no supported pen, whether the read was cancelled or abandoned.
TEST_F(StartupTest, APenWhoseDescriptorReadIsHeldIsNoSupportedPen) {
  for (const bool cancellable : {true, false}) {
    SCOPED_TRACE(cancellable ? "cancelled" : "abandoned");
    auto pen = PlugPen();
    pen->AddFault(virtualpen::HoldFault{virtualpen::HeldTransfer::DescriptorRead, 1, cancellable});
    ASSERT_TRUE(Bus()->WaitUntilIdle());  // no arrival left to make the dialog look again
    OpenDialog();
    EXPECT_EQ(Status(), "Current SW version: ----- - New SW version : 3.18");
    EXPECT_FALSE(StartEnabled());
    EXPECT_EQ(Watch().PenHandle(), nullptr);
    EXPECT_EQ(pen->HeldTransfers(), cancellable ? 0u : 1u);
    ClickExit();
    Bus()->Unplug(pen);
  }
}

TEST_F(StartupTest, PenVersionTexts) {
  struct Case {
    std::uint8_t major, minor;
    const char* shown;
  };
  for (const Case& c : {Case{3, 0x18, "3.18"}, Case{99, 0x00, "99.00"}, Case{100, 0x01, "ERROR"}, Case{3, 0x0a, "3.0a"}}) {
    SCOPED_TRACE(c.shown);
    virtualpen::PenOptions options;
    options.mainMajor = c.major;
    options.mainMinor = c.minor;
    auto pen = PlugPen(options);
    OpenDialog();
    EXPECT_EQ(Status(), std::string("Current SW version: ") + c.shown + " - New SW version : 3.18");
    EXPECT_TRUE(StartEnabled());  // an odd version does not block the upgrade
    ClickExit();
    Bus()->Unplug(pen);
  }
}

TEST_F(StartupTest, TheMinimisedDialogPaintsItsIconCentred) {
  const HWND dialog = OpenDialog();
  ASSERT_TRUE(ui::SetIconic(dialog, true));
  ASSERT_TRUE(WaitFor([&] { return ui::LastIconDraw(dialog).has_value(); }));
  RECT client{};
  ASSERT_TRUE(GetClientRect(dialog, &client));
  const auto draw = *ui::LastIconDraw(dialog);
  EXPECT_EQ(draw.icon, m_dlg.load()->m_hIcon);
  EXPECT_NE(draw.icon, nullptr);
  EXPECT_EQ(draw.x, (client.right - 32 + 1) / 2);
  EXPECT_EQ(draw.y, (client.bottom - 32 + 1) / 2);
}

}  // namespace
