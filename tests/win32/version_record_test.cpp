// The version record and icon that Windows reads from the program files.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include <windows.h>

#include "messages.h"
#include "win32_test_files.h"

namespace brisakett {
namespace {

class VersionRecord : public ::testing::TestWithParam<const wchar_t*> {
protected:
  void SetUp() override {
    file_ = testing::Beside(GetParam()).wstring();
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(file_.c_str(), &ignored);
    ASSERT_GT(size, 0u) << "no version record";
    record_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(file_.c_str(), 0, size, record_.data()));
  }

  // A binary entry of the record, as bytes; empty when it has none.
  std::string Entry(const std::wstring& path) {
    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record_.data(), path.c_str(), &data, &length)) return {};
    return std::string(static_cast<const char*>(data), length);
  }

  // A string entry; its length counts characters, the NUL included.
  std::wstring Text(const wchar_t* name) {
    const std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + name;
    void* data = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(record_.data(), path.c_str(), &data, &length)) return {};
    return std::wstring(static_cast<const wchar_t*>(data), length).c_str();
  }

  std::wstring file_;
  std::vector<BYTE> record_;
};

TEST_P(VersionRecord, NamesBrisakettVersionOneInUsEnglishUnicode) {
  EXPECT_EQ(Text(L"ProductName"), L"Brisakett");
  EXPECT_EQ(Text(L"InternalName"), L"Brisakett");
  EXPECT_EQ(Text(L"FileVersion"), L"1.00");
  EXPECT_EQ(Text(L"ProductVersion"), L"1.00");
  EXPECT_EQ(std::string(messages::kVersion), "1.00");

  const std::string translation = Entry(L"\\VarFileInfo\\Translation");
  ASSERT_EQ(translation.size(), 4u) << "one language, one code page";
  WORD languageAndCodePage[2];
  std::memcpy(languageAndCodePage, translation.data(), 4);
  EXPECT_EQ(languageAndCodePage[0], 0x0409);
  EXPECT_EQ(languageAndCodePage[1], 1200);

  const std::string fixed = Entry(L"\\");
  ASSERT_EQ(fixed.size(), sizeof(VS_FIXEDFILEINFO));
  VS_FIXEDFILEINFO info;
  std::memcpy(&info, fixed.data(), sizeof info);
  EXPECT_EQ(info.dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(info.dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(info.dwFileVersionLS, 0u);
  EXPECT_EQ(info.dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(info.dwProductVersionLS, 0u);
  EXPECT_EQ(info.dwFileType, static_cast<DWORD>(VFT_APP));
}

// The file's icon is the main window's: one picture of 37 x 33 pixels in
// 256 colours.
TEST_P(VersionRecord, CarriesTheWindowIcon) {
  HMODULE module = LoadLibraryExW(file_.c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(module, nullptr);
  HRSRC group = FindResourceW(module, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  const auto* bytes = static_cast<const BYTE*>(LockResource(LoadResource(module, group)));
  ASSERT_GE(SizeofResource(module, group), 6u + 14u);

  WORD count = 0;
  std::memcpy(&count, bytes + 4, sizeof count);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(bytes[6], 37);      // width
  EXPECT_EQ(bytes[7], 33);      // height
  WORD bitsPerPixel = 0;
  std::memcpy(&bitsPerPixel, bytes + 6 + 6, sizeof bitsPerPixel);
  EXPECT_EQ(bitsPerPixel, 8);
  FreeLibrary(module);
}

INSTANTIATE_TEST_SUITE_P(WindowsPrograms, VersionRecord,
                         ::testing::Values(L"brisakett-send.exe"));

}  // namespace
}  // namespace brisakett
