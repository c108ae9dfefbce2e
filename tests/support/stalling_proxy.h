#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

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
  std::uint16_t Port() const { return port_; }
  bool Stalled() const { return stalled_; }
  int RequestsSeen() const { return requests_; }
  void Resume();

private:
  void Accept();
  void Relay(int from, int to, bool countRequests);

  std::uint16_t schedulerPort_;
  pid_t schedulerPid_;
  std::atomic<int> stallAt_{0};
  int listener_ = -1;
  std::uint16_t port_ = 0;
  std::atomic<int> requests_{0};
  std::atomic<bool> stalled_{false};
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::vector<int> sockets_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};

}  // namespace brisakett::testing
