#include "posix/posix_process_starter.h"

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

class SpawnAttributes {
public:
  // The program starts with default signal handling and nothing blocked,
  // whatever this program set up for itself, and in a new session.
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                               POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

private:
  posix_spawnattr_t attributes_;
};

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
  const SpawnAttributes attributes;
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
