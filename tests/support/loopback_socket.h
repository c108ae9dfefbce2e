#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace brisakett::testing {

// A TCP socket listening on `address` (127.0.0.1 or another loopback
// address) at `port`, or for 0 at a port the kernel chose, which goes to
// `port`; -1 when none could be had.
int ListenOnLoopback(std::uint16_t& port, const std::string& address = "127.0.0.1");

// A connection to 127.0.0.1:port; -1 when nobody listens there.
int ConnectToLoopback(std::uint16_t port);

// A TCP service on a loopback port (of its own, unless one is given, on
// 127.0.0.1 unless another address is given): each connection is served
// on a thread of its own, and at the end every connection is shut down and
// every thread waited for. With `closeWhenServed`, a connection is closed
// as soon as `serve` returns, for a service that many clients connect to
// in turn. Declare it last in its owner, so that it stops before what
// `serve` uses goes away.
class LoopbackService {
public:
  explicit LoopbackService(std::function<void(int client)> serve, const std::string& address = "127.0.0.1",
                           std::uint16_t port = 0, bool closeWhenServed = false);
  ~LoopbackService();

  LoopbackService(const LoopbackService&) = delete;
  LoopbackService& operator=(const LoopbackService&) = delete;

  // 0 when it could not listen.
  std::uint16_t Port() const { return port_; }
  // A socket a connection opened besides its own, shut down with the rest.
  void Keep(int fd);
  // More work for a connection, on a thread waited for with the rest.
  void Run(std::function<void()> work);

private:
  std::function<void(int)> serve_;
  std::uint16_t port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stopping_{false};
  std::mutex lock_;
  std::vector<int> sockets_;
  struct Worker {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  std::vector<Worker> threads_;
  std::thread acceptor_;
};

}  // namespace brisakett::testing
