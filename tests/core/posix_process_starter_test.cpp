#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "posix/posix_process_starter.h"
#include "temp_folder.h"

namespace brisakett {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using testing::RecorderLog;
using testing::TempFolder;
using testing::WriteFile;
using testing::WriteRecorder;

// Children of this process that ended and were not reaped.
int Zombies() {
  int zombies = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator("/proc")) {
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // "pid (name) state ppid ...": the name may hold anything, so the
    // fields are counted from its closing parenthesis.
    std::istringstream fields(line.substr(line.rfind(')') + 1));
    char state = 0;
    pid_t parent = 0;
    fields >> state >> parent;
    if (state == 'Z' && parent == ::getpid()) ++zombies;
  }
  return zombies;
}

TEST(PosixProcessStarter, StartsThePathAsItIsAndReapsIt) {
  TempFolder temp;
  const fs::path tool = temp.path() / "sys info" / "tool 'x' $(true);echo";
  WriteRecorder(tool);

  PosixProcessStarter starter;
  ASSERT_TRUE(starter.FileExists(tool));
  ASSERT_TRUE(starter.StartDetached(tool));
  EXPECT_EQ(RecorderLog(tool), "0\n");  // ran once, without arguments

  int zombies = Zombies();
  for (int i = 0; i < 100 && zombies > 0; ++i) {
    std::this_thread::sleep_for(milliseconds(20));
    zombies = Zombies();
  }
  EXPECT_EQ(zombies, 0);
}

TEST(PosixProcessStarter, WhatIsNoProgramDoesNotStart) {
  TempFolder temp;
  const fs::path folder = temp.path() / "sys info";
  const fs::path prefix = folder / "tool";  // what splitting at the blank would start
  WriteRecorder(prefix);
  const fs::path plain = folder / "plain text";
  WriteFile(plain, "#!/bin/sh\ntouch \"$0.ran\"\n", fs::perms::owner_read | fs::perms::owner_write);

  PosixProcessStarter starter;
  EXPECT_FALSE(starter.FileExists(folder));
  EXPECT_FALSE(starter.FileExists(folder / "tool info"));
  EXPECT_TRUE(starter.FileExists(plain));

  for (const fs::path& path : {folder, folder / "tool info", plain, fs::path()}) {
    EXPECT_FALSE(starter.StartDetached(path)) << path;
  }
  EXPECT_EQ(RecorderLog(prefix, milliseconds(300)), "");
  EXPECT_FALSE(fs::exists(folder / "plain text.ran"));
}

}  // namespace
}  // namespace brisakett
