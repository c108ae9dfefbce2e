#include "posix/posix_process_starter.h"

#include "posix/spawn_attributes.h"

#include <cerrno>
#include <csignal>
#include <system_error>
#include <thread>

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace brisakett {
namespace {

void ReapWhenDone(pid_t pid) {
  try {
    std::thread([pid] {
      while (::waitpid(pid, nullptr, 0) == -1 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to spare: the program runs all the same, and its exit
    // status stays until this program ends.
  }
}

}  // namespace

bool PosixProcessStarter::FileExists(const std::string& path) const {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool PosixProcessStarter::StartDetached(const std::string& path) {
  std::string program = path;
  char* argv[] = {program.data(), nullptr};
  const SpawnAttributes attributes(/*newSession=*/true);
  pid_t pid = 0;
  // glibc reports a failed exec (a folder, a file without execute rights,
  // not a program) as posix_spawn's own result.
  if (::posix_spawn(&pid, path.c_str(), nullptr, attributes.get(), argv, environ) != 0) {
    return false;
  }
  ReapWhenDone(pid);
  return true;
}

}  // namespace brisakett
