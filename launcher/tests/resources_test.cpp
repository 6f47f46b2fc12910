// The launcher's resources as the system reads them from Handover.exe.
#include <gtest/gtest.h>

#include <string>

#include "launcher/tests/launcher_harness.h"

namespace handover_test {
namespace {

constexpr WORD kChinesePrc = MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED);
constexpr WORD kEnglishUs = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

class Resources : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExW(Join(BuildDir(), L"Handover.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override {
    if (module_ != nullptr) FreeLibrary(module_);
  }

  std::string Data(LPCWSTR type, int id, WORD language) const {
    HRSRC found = FindResourceExW(module_, type, MAKEINTRESOURCEW(id), language);
    if (found == nullptr) return {};
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module_, found)));
    return std::string(bytes, SizeofResource(module_, found));
  }

  HMODULE module_ = nullptr;
};

TEST_F(Resources, DialogsStringAndIconAreChinese) {
  EXPECT_FALSE(Data(RT_DIALOG, 102, kChinesePrc).empty());
  EXPECT_FALSE(Data(RT_DIALOG, 100, kChinesePrc).empty());
  EXPECT_FALSE(Data(RT_GROUP_ICON, 128, kChinesePrc).empty());
  wchar_t text[64] = {};
  LoadStringW(module_, 101, text, 64);
  EXPECT_STREQ(text, L"关于 Handover(&A)...");
}

TEST_F(Resources, IconGroupHoldsFiveTrueColourSizes) {
  const std::string group = Data(RT_GROUP_ICON, 128, kChinesePrc);
  ASSERT_GE(group.size(), 6u);
  const int count = static_cast<unsigned char>(group[4]);
  ASSERT_EQ(count, 5);
  ASSERT_EQ(group.size(), 6u + 14u * count);
  const int sizes[] = {256, 128, 64, 32, 16};
  for (int i = 0; i < count; ++i) {
    const auto* entry = reinterpret_cast<const unsigned char*>(group.data() + 6 + 14 * i);
    EXPECT_EQ(entry[0] == 0 ? 256 : entry[0], sizes[i]);
    EXPECT_EQ(entry[6] | (entry[7] << 8), 32);
  }
}

TEST_F(Resources, MainDialogTemplateIsExtendedWithItsFont) {
  const std::string dialog = Data(RT_DIALOG, 102, kChinesePrc);
  ASSERT_GE(dialog.size(), 26u);
  auto word = [&](std::size_t at) { return static_cast<unsigned>(static_cast<unsigned char>(dialog[at]) |
                                                                  (static_cast<unsigned char>(dialog[at + 1]) << 8)); };
  EXPECT_EQ(word(0), 1u);       // dlgVer
  EXPECT_EQ(word(2), 0xFFFFu);  // DLGTEMPLATEEX
  EXPECT_EQ(word(16), 2u);      // controls
  EXPECT_EQ(word(22), 219u);
  EXPECT_EQ(word(24), 67u);
  const std::wstring wide(reinterpret_cast<const wchar_t*>(dialog.data()), dialog.size() / 2);
  const std::size_t face = wide.find(L"宋体");
  ASSERT_NE(face, std::wstring::npos);
  // pointsize, weight, italic and charset precede the face name.
  EXPECT_EQ(word(face * 2 - 6), 10u);
  EXPECT_EQ(word(face * 2 - 4), 400u);
  EXPECT_EQ(word(face * 2 - 2), 0x8600u);  // italic 0, charset GB2312
}

TEST_F(Resources, VersionBlockNamesHandover) {
  const std::string version = Data(RT_VERSION, 1, kChinesePrc);
  ASSERT_FALSE(version.empty());
  const auto* info = static_cast<const void*>(version.data());
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info, L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000001u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000001u);
  for (const wchar_t* field : {L"InternalName", L"OriginalFilename"}) {
    wchar_t* value = nullptr;
    const std::wstring query = std::wstring(L"\\StringFileInfo\\080403a8\\") + field;
    ASSERT_TRUE(VerQueryValueW(info, query.c_str(), reinterpret_cast<void**>(&value), &length)) << field;
    EXPECT_STREQ(value, L"Handover.exe");
  }
}

TEST_F(Resources, ManifestAsksForCommonControls6InEnglish) {
  const std::string manifest = Data(RT_MANIFEST, 1, kEnglishUs);
  EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
  EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
}  // namespace handover_test
