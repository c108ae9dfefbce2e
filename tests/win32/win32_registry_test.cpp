// The Windows registry provider and GetKeyValue on top of it, against the
// real registry: values the test writes below HKEY_CURRENT_USER, and the
// System Information key of HKEY_LOCAL_MACHINE.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include <windows.h>

#include "sys_info.h"
#include "win32/win32_process_starter.h"
#include "win32/utf16.h"
#include "win32/win32_registry.h"

namespace brisakett {
namespace {

using namespace std::string_literals;

// A key of the test's own below HKEY_CURRENT_USER, removed afterwards. Its
// name has a letter outside every ANSI code page.
class Win32RegistryValues : public ::testing::Test {
protected:
  void SetUp() override {
    keyName_ = L"Software\\Brisakett Tests\\\u00dcbung \u03a9 " + std::to_wstring(std::random_device()());
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, keyName_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, keyName_.c_str());
  }

  void Set(const std::wstring& name, DWORD type, const void* data, DWORD size) {
    ASSERT_EQ(RegSetValueExW(key_, name.c_str(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  void SetString(const std::wstring& name, const std::wstring& text, bool withNul) {
    Set(name, REG_SZ, text.c_str(),
        static_cast<DWORD>((text.size() + (withNul ? 1 : 0)) * sizeof(wchar_t)));
  }

  // GetKeyValue of the test's key, KeyVal starting as "before".
  std::string Read(const std::string& valueName, bool& found) {
    std::string value = "before";
    found = GetKeyValue(registry_, kHkeyCurrentUser, KeyNameUtf8(), valueName, value);
    return value;
  }

  std::string KeyNameUtf8() const { return Utf8FromWide(keyName_); }

  Win32Registry registry_;
  std::wstring keyName_;
  HKEY key_ = nullptr;
};

TEST_F(Win32RegistryValues, StringsReadAsUtf8TheSameWithAndWithoutTheirNul) {
  const std::wstring path = L"C:\\Programme\\Syst\u00e8me \u03a9\\msinfo32.exe";
  SetString(L"With", path, true);
  SetString(L"Without", path, false);
  SetString(L"Wert \u00e4\u03a9", L"wide name", true);

  bool found = false;
  EXPECT_EQ(Read("With", found), "C:\\Programme\\Système Ω\\msinfo32.exe");
  EXPECT_TRUE(found);
  EXPECT_EQ(Read("Without", found), "C:\\Programme\\Système Ω\\msinfo32.exe");
  EXPECT_TRUE(found);
  EXPECT_EQ(Read("Wert äΩ", found), "wide name");
  EXPECT_TRUE(found);
}

TEST_F(Win32RegistryValues, NumbersEmptyValuesAndOtherTypes) {
  const DWORD number = 0x1234ABCD;
  Set(L"Number", REG_DWORD, &number, sizeof number);
  Set(L"Empty", REG_SZ, L"", 0);
  Set(L"Binary", REG_BINARY, "C:\\x.exe", 8);

  bool found = false;
  EXPECT_EQ(Read("Number", found), "305441741");
  EXPECT_TRUE(found);
  EXPECT_EQ(Read("Empty", found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(Read("Binary", found), "before");
  EXPECT_TRUE(found);
}

TEST_F(Win32RegistryValues, TheBufferLimitCountsTheUtf8Bytes) {
  // "€" is two bytes in UTF-16 and three in UTF-8.
  SetString(L"Fits", std::wstring(341, L'\u20ac'), true);  // 1023 + NUL
  SetString(L"TooLarge", std::wstring(342, L'\u20ac'), false);  // 1026

  std::string euros;
  for (int i = 0; i < 341; ++i) euros += "€";
  bool found = false;
  EXPECT_EQ(Read("Fits", found), euros);
  EXPECT_TRUE(found);
  EXPECT_EQ(Read("TooLarge", found), "");
  EXPECT_FALSE(found);

  RegistryKey key{};
  ASSERT_EQ(registry_.OpenKey(kHkeyCurrentUser, KeyNameUtf8(), KEY_READ, key), kErrorSuccess);
  std::uint32_t type = 0;
  unsigned char buffer[1024];
  std::uint32_t size = sizeof buffer;
  EXPECT_EQ(registry_.QueryValue(key, "TooLarge", type, buffer, size), kErrorMoreData);
  // The UTF-8 size (UTF-16 would be 684), one more where the registry
  // adds a NUL of its own, as Wine's does.
  EXPECT_GE(size, 1026u);
  EXPECT_LE(size, 1027u);
  EXPECT_EQ(registry_.CloseKey(key), kErrorSuccess);
}

TEST_F(Win32RegistryValues, MissingKeysAndValuesReadAsFalseAndEmpty) {
  bool found = true;
  EXPECT_EQ(Read("Nothing", found), "");
  EXPECT_FALSE(found);

  std::string value = "before";
  EXPECT_FALSE(GetKeyValue(registry_, kHkeyCurrentUser, KeyNameUtf8() + "\\Nothing", "PATH", value));
  EXPECT_EQ(value, "");
}

// Windows records its System Information tool here; Wine creates the key
// without values. The program opens it with its own access mask.
TEST(Win32RegistryMachine, TheSystemInformationKeyOpensAndReadsAsAPathOrNothing) {
  Win32Registry registry;
  RegistryKey key{};
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, kMsinfoKeyName, 0x2003F, key), kErrorSuccess);
  EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);

  std::string path = "before";
  if (GetKeyValue(registry, kHkeyLocalMachine, kMsinfoKeyName, kMsinfoPathValueName, path)) {
    EXPECT_TRUE(Win32ProcessStarter().FileExists(path)) << path;
  } else {
    EXPECT_EQ(path, "");
  }
}

}  // namespace
}  // namespace brisakett
