// Windows reads the launcher's icon at each of its sizes, the 256-pixel PNG frame
// included: drawn over black, its centre is the white arrow and its corner is
// left black (outside the rounded tile, transparent).
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>

TEST(IconLoad, LauncherIconDrawsAtEverySize) {
  for (int size : {256, 128, 64, 32, 16}) {
    SCOPED_TRACE(size);
    HICON icon = static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);

    BITMAPINFO bmi{};
    bmi.bmiHeader = {sizeof(BITMAPINFOHEADER), size, -size, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP target = CreateDIBSection(dc, &bmi, DIB_RGB_COLORS, &bits, nullptr, 0);  // zeroed: black
    HGDIOBJ old = SelectObject(dc, target);
    EXPECT_TRUE(DrawIconEx(dc, 0, 0, icon, size, size, 0, nullptr, DI_NORMAL));
    GdiFlush();
    const auto* pixels = static_cast<const std::uint32_t*>(bits);
    EXPECT_EQ(pixels[(size / 2) * size + size / 2] & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(pixels[0] & 0xFFFFFF, 0u);
    SelectObject(dc, old);
    DeleteObject(target);
    DeleteDC(dc);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}
