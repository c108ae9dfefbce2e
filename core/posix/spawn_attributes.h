#pragma once

#include <csignal>

#include <spawn.h>

namespace brisakett {

// Attributes for posix_spawn: the child starts with default signal
// handling and nothing blocked, whatever this program set up for itself
// (a program that waits for SIGINT blocks it; its children must still stop
// on it). `newSession` also detaches the child from this program's session.
class SpawnAttributes {
public:
  explicit SpawnAttributes(bool newSession) {
    posix_spawnattr_init(&attributes_);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes_, &none);
    posix_spawnattr_setsigdefault(&attributes_, &all);
    short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    if (newSession) flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(&attributes_, flags);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;

  const posix_spawnattr_t* get() const { return &attributes_; }

private:
  posix_spawnattr_t attributes_;
};

}  // namespace brisakett
