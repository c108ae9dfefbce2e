#include "loopback_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <utility>

namespace brisakett::testing {

int ListenOnLoopback(std::uint16_t& port, const std::string& on) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int reuse = 1;  // a port a test used a moment ago, still in TIME_WAIT
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (inet_pton(AF_INET, on.c_str(), &address.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 64) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

int ConnectToLoopback(std::uint16_t port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

LoopbackService::LoopbackService(std::function<void(int client)> serve, const std::string& address,
                                 std::uint16_t port, bool closeWhenServed)
    : serve_(std::move(serve)), port_(port), listener_(ListenOnLoopback(port_, address)) {
  if (listener_ < 0) {
    port_ = 0;
    return;
  }
  acceptor_ = std::thread([this, closeWhenServed] {
    for (;;) {
      const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      Keep(client);
      Run([this, client, closeWhenServed] {
        serve_(client);
        if (!closeWhenServed) return;
        const std::lock_guard guard(lock_);
        std::erase(sockets_, client);
        close(client);
      });
    }
  });
}

LoopbackService::~LoopbackService() {
  if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  {
    const std::lock_guard guard(lock_);
    stopping_ = true;
    for (int fd : sockets_) shutdown(fd, SHUT_RDWR);
  }
  // A connection's thread may still start another while these end.
  for (;;) {
    std::thread thread;
    {
      const std::lock_guard guard(lock_);
      if (threads_.empty()) break;
      thread = std::move(threads_.back().thread);
      threads_.pop_back();
    }
    thread.join();
  }
  for (int fd : sockets_) close(fd);
  if (listener_ >= 0) close(listener_);
}

void LoopbackService::Keep(int fd) {
  const std::lock_guard guard(lock_);
  sockets_.push_back(fd);
  if (stopping_) shutdown(fd, SHUT_RDWR);
}

void LoopbackService::Run(std::function<void()> work) {
  const std::lock_guard guard(lock_);
  std::erase_if(threads_, [](Worker& worker) {
    if (!*worker.done) return false;
    worker.thread.join();
    return true;
  });
  auto done = std::make_shared<std::atomic<bool>>(false);
  threads_.push_back({std::thread([work = std::move(work), done] {
                        work();
                        *done = true;
                      }),
                      done});
}

}  // namespace brisakett::testing
