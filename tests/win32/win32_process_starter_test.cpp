// Starting programs on Windows, alone and as StartSysInfo does it, with a
// stand-in for the System Information tool at paths with blanks.

#include <gtest/gtest.h>

#include <random>
#include <string>

#include <windows.h>

#include "sys_info.h"
#include "win32/utf16.h"
#include "win32/win32_process_starter.h"
#include "win32/win32_registry.h"
#include "win32_test_files.h"

namespace brisakett {
namespace {

using testing::PlaceStandIn;
using testing::StandInLog;
using testing::TempFolder;
using testing::Utf8;

TEST(Win32ProcessStarter, OnlyFilesExist) {
  TempFolder folder;
  const std::filesystem::path program = folder.path() / L"Sys Info" / L"Tool \u03a9.exe";
  PlaceStandIn(program);
  Win32ProcessStarter starter;
  EXPECT_TRUE(starter.FileExists(Utf8(program)));
  EXPECT_FALSE(starter.FileExists(Utf8(program.parent_path())));
  EXPECT_FALSE(starter.FileExists(Utf8(folder.path() / L"Tool \u03a9.exe")));
  EXPECT_FALSE(starter.FileExists(""));
}

// Read from a command line, "...\Sys Info\Tool.exe" would start
// "...\Sys.exe" with the argument "Info\Tool.exe"; the decoy is there.
TEST(Win32ProcessStarter, StartsExactlyTheProgramAtAPathWithBlanksWithoutArguments) {
  TempFolder folder;
  const std::filesystem::path program = folder.path() / L"Sys Info" / L"Tool.exe";
  const std::filesystem::path decoy = folder.path() / L"Sys.exe";
  PlaceStandIn(program);
  PlaceStandIn(decoy);

  Win32ProcessStarter starter;
  ASSERT_TRUE(starter.StartDetached(Utf8(program)));
  EXPECT_EQ(StandInLog(program), "0\n");
  EXPECT_EQ(StandInLog(decoy, std::chrono::milliseconds(0)), "");

  EXPECT_FALSE(starter.StartDetached(Utf8(program.parent_path())));
  EXPECT_FALSE(starter.StartDetached(Utf8(folder.path() / L"Missing.exe")));
}

// The machine's System Information keys, read from a key of the test's own
// below HKEY_CURRENT_USER, so the test needs no rights on the machine's keys.
class RedirectedMachineRegistry final : public Registry {
public:
  explicit RedirectedMachineRegistry(std::string base) : base_(std::move(base)) {}

  long OpenKey(RegistryRoot root, const std::string& subKey, std::uint32_t accessMask,
               RegistryKey& key) override {
    if (root != kHkeyLocalMachine) return kErrorFileNotFound;
    return real_.OpenKey(kHkeyCurrentUser, base_ + "\\" + subKey, accessMask, key);
  }
  long QueryValue(RegistryKey key, const std::string& valueName, std::uint32_t& type,
                  unsigned char* data, std::uint32_t& size) override {
    return real_.QueryValue(key, valueName, type, data, size);
  }
  long CloseKey(RegistryKey key) override { return real_.CloseKey(key); }

private:
  std::string base_;
  Win32Registry real_;
};

class StartSysInfoOnWindows : public ::testing::Test {
protected:
  StartSysInfoOnWindows()
      : base_(L"Software\\Brisakett Tests\\Machine " + std::to_wstring(std::random_device()())),
        registry_(Utf8FromWide(base_)) {}
  ~StartSysInfoOnWindows() override { RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str()); }

  void SetString(const std::string& key, const std::string& name, const std::string& text) {
    const std::wstring path = base_ + L"\\" + WideFromUtf8(key);
    const std::wstring data = WideFromUtf8(text);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, path.c_str(), WideFromUtf8(name).c_str(), REG_SZ,
                              data.c_str(), static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }

  std::wstring base_;
  RedirectedMachineRegistry registry_;
  Win32ProcessStarter starter_;
  TempFolder folder_;
};

TEST_F(StartSysInfoOnWindows, StartsThePathOfTheFirstKey) {
  const std::filesystem::path program = folder_.path() / L"Common Files" / L"MSINFO32.EXE";
  PlaceStandIn(program);
  SetString(kMsinfoKeyName, kMsinfoPathValueName, Utf8(program));

  EXPECT_TRUE(StartSysInfo(registry_, starter_));
  EXPECT_EQ(StandInLog(program), "0\n");
}

TEST_F(StartSysInfoOnWindows, StartsTheToolInTheFolderOfTheSecondKey) {
  const std::filesystem::path folder = folder_.path() / L"Shared Tools \u03a9";
  PlaceStandIn(folder / L"MSINFO32.EXE");
  SetString(kSharedToolsLocationKeyName, kSharedToolsMsinfoValueName, Utf8(folder));

  EXPECT_TRUE(StartSysInfo(registry_, starter_));
  EXPECT_EQ(StandInLog(folder / L"MSINFO32.EXE"), "0\n");
}

TEST_F(StartSysInfoOnWindows, NothingStartsWithoutKeysOrWithoutTheTool) {
  EXPECT_FALSE(StartSysInfo(registry_, starter_));

  SetString(kSharedToolsLocationKeyName, kSharedToolsMsinfoValueName, Utf8(folder_.path()));
  EXPECT_FALSE(StartSysInfo(registry_, starter_));

  SetString(kMsinfoKeyName, kMsinfoPathValueName, Utf8(folder_.path()));
  EXPECT_FALSE(StartSysInfo(registry_, starter_));
}

}  // namespace
}  // namespace brisakett
