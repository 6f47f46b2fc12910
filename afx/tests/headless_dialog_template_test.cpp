// Dialog templates and other resources as the headless backend reads them from
// the compiled test_dialogs.rc: the windows get the template's caption, controls,
// texts, styles and positions; damaged data is refused without reading past it.
#include <cstring>
#include <vector>

#include "afx/headless/dialog_template.h"
#include "afx/headless/resources.h"
#include "afx/tests/headless_test_support.h"

namespace afx_test {
namespace {

using afx::headless::DialogTemplate;
using afx::headless::FindResource;
using afx::headless::ParseDialogTemplate;

DialogTemplate LoadTemplate(UINT id) {
  const auto resource = FindResource(MAKEINTRESOURCE(id), RT_DIALOG);
  EXPECT_TRUE(resource.has_value());
  if (!resource) return {};
  const auto parsed = ParseDialogTemplate(resource->data, resource->size);
  EXPECT_TRUE(parsed.has_value());
  return parsed.value_or(DialogTemplate{});
}

bool SameRect(const RECT& rect, LONG x, LONG y, LONG cx, LONG cy) {
  return rect.left == x && rect.top == y && rect.right == x + cx && rect.bottom == y + cy;
}

TEST(DialogTemplateTest, ReadsAnExtendedTemplate) {
  const DialogTemplate dialog = LoadTemplate(IDD_TEST_DIALOG);
  EXPECT_TRUE(dialog.extended);
  EXPECT_EQ(dialog.title, "Template Caption");
  EXPECT_EQ(dialog.style & (WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME), WS_POPUP | WS_VISIBLE | WS_CAPTION | DS_MODALFRAME);
  EXPECT_EQ(dialog.style & WS_SYSMENU, 0u);
  EXPECT_EQ(dialog.exStyle, WS_EX_APPWINDOW);
  EXPECT_TRUE(SameRect(dialog.rect, 0, 0, 262, 78));
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.typeface, "MS Shell Dlg");
  ASSERT_EQ(dialog.items.size(), 7u);

  const auto& exit = dialog.items[0];
  EXPECT_EQ(exit.id, IDOK);
  EXPECT_EQ(exit.className, "Button");
  EXPECT_EQ(exit.text, "Exit");
  EXPECT_EQ(exit.style & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_TRUE(SameRect(exit.rect, 132, 48, 50, 18));

  EXPECT_NE(dialog.items[1].style & WS_DISABLED, 0u);  // Start
  EXPECT_EQ(dialog.items[2].style & WS_VISIBLE, 0u);   // Hidden

  const auto& progress = dialog.items[4];
  EXPECT_EQ(progress.id, IDC_T_PROGRESS);
  EXPECT_EQ(progress.className, "msctls_progress32");
  EXPECT_NE(progress.style & PBS_SMOOTH, 0u);
  EXPECT_NE(progress.style & WS_BORDER, 0u);

  const auto& group = dialog.items[5];
  EXPECT_EQ(group.id, -1);
  EXPECT_EQ(group.style & BS_TYPEMASK, BS_GROUPBOX);
  EXPECT_EQ(group.text, "Group caption");

  const auto& status = dialog.items[6];
  EXPECT_EQ(status.className, "Static");
  EXPECT_EQ(status.style & SS_CENTER, SS_CENTER);
  EXPECT_EQ(status.text, "Grüße – status");  // UTF-16 in the resource, UTF-8 here
}

TEST(DialogTemplateTest, ReadsAPlainTemplate) {
  const DialogTemplate dialog = LoadTemplate(IDD_PLAIN_DIALOG);
  EXPECT_FALSE(dialog.extended);
  EXPECT_EQ(dialog.title, "Plain");
  EXPECT_TRUE(SameRect(dialog.rect, 10, 20, 120, 40));
  EXPECT_NE(dialog.style & WS_SYSMENU, 0u);
  ASSERT_EQ(dialog.items.size(), 2u);
  EXPECT_EQ(dialog.items[0].className, "Static");
  EXPECT_EQ(dialog.items[0].id, IDC_T_FIRST);
  EXPECT_EQ(dialog.items[1].className, "Button");
  EXPECT_EQ(dialog.items[1].text, "Second");
  EXPECT_TRUE(SameRect(dialog.items[1].rect, 4, 20, 50, 14));
}

TEST(DialogTemplateTest, RefusesEveryTruncationOfATemplate) {
  for (UINT id : {IDD_TEST_DIALOG, IDD_PLAIN_DIALOG}) {
    const auto resource = FindResource(MAKEINTRESOURCE(id), RT_DIALOG);
    ASSERT_TRUE(resource.has_value());
    for (std::size_t size = 0; size + 1 < resource->size; ++size) {
      // A copy of exactly `size` bytes, so that a sanitizer sees any read past it.
      std::vector<unsigned char> cut(resource->data, resource->data + size);
      EXPECT_FALSE(ParseDialogTemplate(cut.data(), cut.size()).has_value()) << "template " << id << " cut at " << size;
    }
  }
}

TEST(DialogTemplateTest, RefusesGarbageAsAResourceFile) {
  const unsigned char garbage[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x10, 0, 0, 0, 0x41};
  EXPECT_FALSE(afx::headless::RegisterResources(garbage, sizeof garbage));
  EXPECT_FALSE(afx::headless::RegisterResources(garbage, 0));
}

TEST(DialogTemplateTest, LoadsStringsAndIconsOfTheModule) {
  CString greeting;
  EXPECT_TRUE(greeting.LoadString(IDS_GREETING));
  EXPECT_EQ(greeting, "Hello from the string table");
  CString unicode;
  EXPECT_TRUE(unicode.LoadString(IDS_UNICODE));
  EXPECT_EQ(unicode, "Grüße");
  CString missing("left over");
  EXPECT_FALSE(missing.LoadString(IDS_GREETING + 7));
  EXPECT_TRUE(missing.IsEmpty());

  EXPECT_NE(LoadIcon(AfxGetResourceHandle(), MAKEINTRESOURCE(IDR_TEST_ICON)), nullptr);
  EXPECT_EQ(LoadIcon(AfxGetResourceHandle(), MAKEINTRESOURCE(IDR_TEST_ICON + 1)), nullptr);
}

using TemplateWindowTest = HeadlessTest;

TEST_F(TemplateWindowTest, TheDialogsWindowsFollowTheTemplate) {
  ScriptedDialog dialog;
  auto result = RunModal(dialog);
  const HWND hwnd = WaitShown();
  const auto state = ui::GetDialogState(hwnd);
  ASSERT_TRUE(state.has_value());
  EXPECT_EQ(state->title, "Template Caption");
  EXPECT_EQ(state->templateId, static_cast<UINT>(IDD_TEST_DIALOG));
  ASSERT_EQ(state->controls.size(), 7u);
  EXPECT_FALSE(ui::IsControlEnabled(hwnd, IDC_T_START));
  EXPECT_EQ(ui::GetControlText(hwnd, IDC_T_STATUS), "Grüße – status");
  EXPECT_EQ(ui::GetProgressRange(hwnd, IDC_T_PROGRESS), std::make_pair(0, 100));
  EXPECT_FALSE(ui::GetControl(hwnd, 4242).has_value());
  ui::PostClose(hwnd);
  result.get();
}

}  // namespace
}  // namespace afx_test
