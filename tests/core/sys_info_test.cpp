#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "in_memory_registry.h"
#include "sys_info.h"

namespace brisakett {
namespace {

using namespace std::string_literals;
using testing::InMemoryRegistry;

constexpr RegistryRoot kRoot = kHkeyLocalMachine;
constexpr const char* kKey = "SOFTWARE\\Brisakett\\Test";

void ExpectEveryKeyClosed(const InMemoryRegistry& registry) {
  EXPECT_EQ(registry.closed, registry.opened);
  EXPECT_EQ(registry.badHandles, 0);
}

// GetKeyValue on kKey's value "V", with KeyVal starting as "before".
std::string ReadV(InMemoryRegistry& registry, bool& found) {
  std::string value = "before";
  found = GetKeyValue(registry, kRoot, kKey, "V", value);
  EXPECT_EQ(registry.accessMasks.empty() ? 0 : registry.accessMasks.front(), 0x2003Fu);
  ExpectEveryKeyClosed(registry);
  return value;
}

std::string ReadV(std::uint32_t type, const std::string& bytes, bool& found) {
  InMemoryRegistry registry;
  registry.SetValue(kRoot, kKey, "V", type, bytes);
  return ReadV(registry, found);
}

TEST(GetKeyValue, StringsReadTheSameWithOrWithoutTheirNul) {
  bool found = false;
  EXPECT_EQ(ReadV(kRegSz, "C:\\Programme\\Büro Info.exe\0"s, found), "C:\\Programme\\Büro Info.exe");
  EXPECT_TRUE(found);
  EXPECT_EQ(ReadV(kRegSz, "C:\\Programme\\Büro Info.exe", found), "C:\\Programme\\Büro Info.exe");
  EXPECT_TRUE(found);
  // The text ends at its first NUL; anything stored behind it is not read.
  EXPECT_EQ(ReadV(kRegSz, "C:\\x.exe\0\"junk\0"s, found), "C:\\x.exe");
  // The whole buffer is usable.
  EXPECT_EQ(ReadV(kRegSz, std::string(1024, 'x'), found), std::string(1024, 'x'));
  EXPECT_TRUE(found);
  EXPECT_EQ(ReadV(kRegSz, std::string(1023, 'x') + '\0', found), std::string(1023, 'x'));
}

TEST(GetKeyValue, NumbersBecomeTheirDecimalValue) {
  bool found = false;
  EXPECT_EQ(ReadV(kRegDword, "\x05\x01\x00\x00"s, found), "261");
  EXPECT_TRUE(found);
  EXPECT_EQ(ReadV(kRegDword, "\x0D\x0C\x0B\x0A"s, found), "168496141");
  EXPECT_EQ(ReadV(kRegDword, "\0\0\0\0"s, found), "0");
  EXPECT_EQ(ReadV(kRegDword, "\xFF\xFF\xFF\xFF"s, found), "4294967295");
}

TEST(GetKeyValue, EmptyDataAreTheEmptyText) {
  bool found = false;
  EXPECT_EQ(ReadV(kRegSz, "", found), "");
  EXPECT_TRUE(found);
  EXPECT_EQ(ReadV(kRegDword, "", found), "");
  EXPECT_TRUE(found);
}

TEST(GetKeyValue, OtherTypesSucceedAndLeaveTheCallersText) {
  for (std::uint32_t type : {kRegBinary, 2u, 7u, 11u}) {
    bool found = false;
    EXPECT_EQ(ReadV(type, "C:\\x.exe\0"s, found), "before") << type;
    EXPECT_TRUE(found) << type;
  }
}

TEST(GetKeyValue, FailuresGiveFalseAndTheEmptyText) {
  bool found = true;
  {
    InMemoryRegistry noKey;
    noKey.SetValue(kHkeyCurrentUser, kKey, "V", kRegSz, "elsewhere");
    EXPECT_EQ(ReadV(noKey, found), "");
    EXPECT_FALSE(found);
  }
  {
    InMemoryRegistry deniedKey;
    deniedKey.SetValue(kRoot, kKey, "V", kRegSz, "x");
    deniedKey.FailToOpen(kRoot, kKey, 5);
    EXPECT_EQ(ReadV(deniedKey, found), "");
    EXPECT_FALSE(found);
  }
  {
    InMemoryRegistry noValue;
    noValue.SetValue(kRoot, kKey, "W", kRegSz, "x");
    EXPECT_EQ(ReadV(noValue, found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(noValue.opened, 1);
  }
  for (const std::string& tooLarge : {std::string(1025, 'x'), std::string(1024, 'x') + '\0'}) {
    InMemoryRegistry registry;
    registry.SetValue(kRoot, kKey, "V", kRegSz, tooLarge);
    EXPECT_EQ(ReadV(registry, found), "");
    EXPECT_FALSE(found);
    EXPECT_EQ(registry.opened, 1);
  }
}

// Knows a fixed set of files and records what it was asked to start.
class FakeProcessStarter final : public ProcessStarter {
public:
  std::set<std::string> files;
  bool startFails = false;
  std::vector<std::string> started;

  bool FileExists(const std::string& path) const override { return files.contains(path); }
  bool StartDetached(const std::string& path) override {
    if (startFails) return false;
    started.push_back(path);
    return true;
  }
};

class StartSysInfoTest : public ::testing::Test {
protected:
  static constexpr const char* kMsinfo = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
  static constexpr const char* kLocation = "SOFTWARE\\Microsoft\\Shared Tools Location";
  static constexpr const char* kFirstPath = "C:\\Program Files\\Common Files\\msinfo32.exe";

  bool Start() {
    const bool started = StartSysInfo(registry, starter);
    ExpectEveryKeyClosed(registry);
    return started;
  }

  InMemoryRegistry registry;
  FakeProcessStarter starter;
};

TEST_F(StartSysInfoTest, StartsTheFirstChoiceAsItIs) {
  registry.SetValue(kHkeyLocalMachine, kMsinfo, "PATH", kRegSz, kFirstPath + "\0"s);
  registry.SetValue(kHkeyLocalMachine, kLocation, "MSINFO", kRegSz, "C:\\Tools");
  starter.files = {kFirstPath, "C:\\Tools\\MSINFO32.EXE"};
  EXPECT_TRUE(Start());
  EXPECT_EQ(starter.started, std::vector<std::string>{kFirstPath});
}

TEST_F(StartSysInfoTest, KeysThatOpenOnlyForReadingAreStillRead) {
  // What a user without administrator rights gets on HKEY_LOCAL_MACHINE.
  registry.SetValue(kHkeyLocalMachine, kMsinfo, "PATH", kRegSz, kFirstPath + "\0"s);
  registry.ReadOnlyKey(kHkeyLocalMachine, kMsinfo);
  starter.files = {kFirstPath};
  EXPECT_TRUE(Start());
  EXPECT_EQ(starter.started, std::vector<std::string>{kFirstPath});
  EXPECT_EQ(registry.accessMasks, (std::vector<std::uint32_t>{0x2003F, 0x20019}));
}

TEST_F(StartSysInfoTest, FallsBackToMsinfo32InTheSecondChoicesFolder) {
  // The first key without its value counts as missing as well.
  registry.SetValue(kHkeyLocalMachine, kMsinfo, "Path2", kRegSz, kFirstPath);
  registry.SetValue(kHkeyLocalMachine, kLocation, "MSINFO", kRegSz, "C:\\My Tools\0"s);

  EXPECT_FALSE(Start());
  EXPECT_TRUE(starter.started.empty());

  starter.files = {"C:\\My Tools\\MSINFO32.EXE"};
  EXPECT_TRUE(Start());
  EXPECT_EQ(starter.started, std::vector<std::string>{"C:\\My Tools\\MSINFO32.EXE"});
}

TEST_F(StartSysInfoTest, AFirstChoiceThatIsNoFileStartsNothing) {
  registry.SetValue(kHkeyLocalMachine, kLocation, "MSINFO", kRegSz, "C:\\Tools");
  starter.files = {"C:\\Tools\\MSINFO32.EXE"};
  // Read, but no usable path: a binary value, empty data, a missing file.
  for (const auto& [type, bytes] :
       {std::pair(kRegBinary, kFirstPath + "\0"s), std::pair(kRegSz, ""s),
        std::pair(kRegSz, "C:\\gone.exe"s)}) {
    registry.SetValue(kHkeyLocalMachine, kMsinfo, "PATH", type, bytes);
    EXPECT_FALSE(Start()) << bytes;
  }
  EXPECT_TRUE(starter.started.empty());
}

TEST_F(StartSysInfoTest, NothingFoundOrAFailedStartIsFalse) {
  EXPECT_FALSE(Start());

  registry.SetValue(kHkeyLocalMachine, kMsinfo, "PATH", kRegSz, kFirstPath);
  starter.files = {kFirstPath};
  starter.startFails = true;
  EXPECT_FALSE(Start());
  EXPECT_TRUE(starter.started.empty());
}

}  // namespace
}  // namespace brisakett
