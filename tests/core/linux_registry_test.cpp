#include <gtest/gtest.h>

#include <string>

#include "posix/linux_registry.h"
#include "posix/posix_process_starter.h"
#include "sys_info.h"
#include "temp_folder.h"

namespace brisakett {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using testing::RecorderLog;
using testing::TempFolder;
using testing::WriteFile;
using testing::WriteRecorder;

constexpr const char* kMsinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";

void WriteProgram(const fs::path& file) {
  WriteFile(file, "#!/bin/sh\n", fs::perms::owner_all);
}

// The "PATH" value as GetKeyValue reads it; empty when the key does not open.
std::string MsinfoPath(const std::string& searchPath) {
  LinuxRegistry registry(searchPath);
  std::string path;
  GetKeyValue(registry, kHkeyLocalMachine, kMsinfo, "PATH", path);
  return path;
}

TEST(LinuxRegistry, FindsTheFirstProgramOfItsListAlongThePath) {
  TempFolder temp;
  const fs::path a = temp.path() / "a b";
  const fs::path b = temp.path() / "c";
  WriteProgram(a / "hardinfo");
  WriteProgram(b / "kinfocenter");
  WriteProgram(b / "hardinfo");
  const std::string bothFolders = a.string() + ":" + b.string() + "/";

  // The list's order counts before the folders'; among folders the first.
  EXPECT_EQ(MsinfoPath(bothFolders), (b / "kinfocenter").string());
  fs::remove(b / "kinfocenter");
  EXPECT_EQ(MsinfoPath(bothFolders), (a / "hardinfo").string());

  // What cannot run is passed over: a folder, a file without execute rights.
  fs::create_directory(b / "kinfocenter");
  WriteFile(a / "hardinfo2", "#!/bin/sh\n", fs::perms::owner_read);
  EXPECT_EQ(MsinfoPath(bothFolders), (a / "hardinfo").string());

  // Empty and relative entries are no folders to search.
  const fs::path relative = temp.path() / "relative";
  WriteProgram(relative / "kinfocenter");
  EXPECT_EQ(MsinfoPath("::" + fs::relative(relative).string() + ":" + a.string()),
            (a / "hardinfo").string());
}

TEST(LinuxRegistry, StoresThePathAsWindowsStoresAString) {
  TempFolder temp;
  WriteProgram(temp.path() / "cpu-x");
  const std::string program = (temp.path() / "cpu-x").string();
  LinuxRegistry registry(temp.path().string());

  RegistryKey key{};
  // Names are not case-sensitive, as on Windows.
  ASSERT_EQ(registry.OpenKey(kHkeyLocalMachine, "software\\MICROSOFT\\shared tools\\msinfo",
                             0x2003F, key),
            kErrorSuccess);
  std::string data(program.size() + 1, 'x');
  std::uint32_t type = 0;
  std::uint32_t size = static_cast<std::uint32_t>(program.size());
  EXPECT_EQ(registry.QueryValue(key, "Path", type,
                                reinterpret_cast<unsigned char*>(data.data()), size),
            kErrorMoreData);
  EXPECT_EQ(size, program.size() + 1);
  EXPECT_EQ(registry.QueryValue(key, "PATH", type,
                                reinterpret_cast<unsigned char*>(data.data()), size),
            kErrorSuccess);
  EXPECT_EQ(type, kRegSz);
  EXPECT_EQ(data, program + '\0');
  EXPECT_EQ(registry.QueryValue(key, "MSINFO", type,
                                reinterpret_cast<unsigned char*>(data.data()), size),
            kErrorFileNotFound);
  EXPECT_EQ(registry.CloseKey(key), kErrorSuccess);
  EXPECT_EQ(registry.CloseKey(key), kErrorInvalidHandle);
}

TEST(LinuxRegistry, KnowsNoOtherKey) {
  TempFolder temp;
  WriteProgram(temp.path() / "kinfocenter");
  LinuxRegistry registry(temp.path().string());
  RegistryKey key{};
  EXPECT_EQ(registry.OpenKey(kHkeyCurrentUser, kMsinfo, 0x2003F, key), kErrorFileNotFound);
  for (const char* other : {"SOFTWARE\\Microsoft\\Shared Tools Location",
                            "SOFTWARE\\Microsoft\\Shared Tools", "SOFTWARE", ""}) {
    EXPECT_EQ(registry.OpenKey(kHkeyLocalMachine, other, 0x2003F, key), kErrorFileNotFound)
        << other;
  }
  // Without a program the key itself is missing.
  EXPECT_EQ(LinuxRegistry("/nonexistent:" + (temp.path() / "none").string())
                .OpenKey(kHkeyLocalMachine, kMsinfo, 0x2003F, key),
            kErrorFileNotFound);
}

TEST(LinuxRegistry, StartSysInfoStartsTheProgramFoundAlongThePath) {
  TempFolder temp;
  const fs::path tool = temp.path() / "sys tools" / "gnome-system-monitor";
  WriteRecorder(tool);
  PosixProcessStarter starter;

  LinuxRegistry none(temp.path().string());
  EXPECT_FALSE(StartSysInfo(none, starter));

  LinuxRegistry found("/nonexistent:" + tool.parent_path().string());
  EXPECT_TRUE(StartSysInfo(found, starter));
  EXPECT_EQ(RecorderLog(tool), "0\n");
}

}  // namespace
}  // namespace brisakett
