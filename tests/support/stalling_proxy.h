#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>

#include "loopback_socket.h"

namespace brisakett::testing {

// A loopback TCP relay in front of a scheduler that can freeze the
// scheduler (SIGSTOP) just before a chosen request reaches it, as a hung
// print server would: what the client sends lands in the frozen
// scheduler's socket, read when it wakes. Resume() and the destructor wake
// it (SIGCONT).
class StallingProxy {
public:
  StallingProxy(std::uint16_t schedulerPort, pid_t schedulerPid);

  // Freezes the scheduler when the `count`-th request from now (over every
  // connection, counting from 1) arrives.
  void StallAtRequest(int count) { stallAt_ = requests_ + count; }
  ~StallingProxy();

  StallingProxy(const StallingProxy&) = delete;
  StallingProxy& operator=(const StallingProxy&) = delete;

  // 0 when it could not listen.
  std::uint16_t Port() const { return service_.Port(); }
  bool Stalled() const { return stalled_; }
  int RequestsSeen() const { return requests_; }
  void Resume();

private:
  void Serve(int client);
  void Relay(int from, int to, bool countRequests);

  std::uint16_t schedulerPort_;
  pid_t schedulerPid_;
  std::atomic<int> stallAt_{0};
  std::atomic<int> requests_{0};
  std::atomic<bool> stalled_{false};
  LoopbackService service_;  // last: it stops first
};

}  // namespace brisakett::testing
