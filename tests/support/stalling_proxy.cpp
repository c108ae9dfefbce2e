#include "stalling_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "loopback_socket.h"

namespace brisakett::testing {
StallingProxy::StallingProxy(std::uint16_t schedulerPort, pid_t schedulerPid)
    : schedulerPort_(schedulerPort), schedulerPid_(schedulerPid) {
  listener_ = ListenOnLoopback(port_);
  if (listener_ < 0) return;
  acceptor_ = std::thread([this] { Accept(); });
}

StallingProxy::~StallingProxy() {
  Resume();
  stopping_ = true;
  if (listener_ >= 0) shutdown(listener_, SHUT_RDWR);
  if (acceptor_.joinable()) acceptor_.join();
  {
    const std::lock_guard<std::mutex> guard(lock_);
    for (int fd : sockets_) shutdown(fd, SHUT_RDWR);
  }
  for (std::thread& thread : threads_) thread.join();
  for (int fd : sockets_) close(fd);
  if (listener_ >= 0) close(listener_);
}

void StallingProxy::Resume() {
  if (stalled_.exchange(false)) kill(schedulerPid_, SIGCONT);
}

void StallingProxy::Accept() {
  for (;;) {
    const int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0 || stopping_) {
      if (client >= 0) close(client);
      return;
    }
    const int server = ConnectToLoopback(schedulerPort_);
    const std::lock_guard<std::mutex> guard(lock_);
    sockets_.push_back(client);
    if (server < 0) {
      shutdown(client, SHUT_RDWR);
      continue;
    }
    sockets_.push_back(server);
    threads_.emplace_back([this, client, server] { Relay(client, server, true); });
    threads_.emplace_back([this, client, server] { Relay(server, client, false); });
  }
}

// Every IPP request starts with an HTTP POST line; the bodies are binary
// IPP and never hold one.
void StallingProxy::Relay(int from, int to, bool countRequests) {
  char buffer[16384];
  for (;;) {
    const ssize_t got = read(from, buffer, sizeof buffer);
    if (got <= 0) break;
    if (countRequests) {
      const std::string chunk(buffer, static_cast<std::size_t>(got));
      for (std::size_t at = chunk.find("POST /"); at != std::string::npos;
           at = chunk.find("POST /", at + 1)) {
        if (++requests_ == stallAt_ && !stalled_.exchange(true)) kill(schedulerPid_, SIGSTOP);
      }
    }
    for (ssize_t sent = 0; sent < got;) {
      const ssize_t wrote = write(to, buffer + sent, static_cast<std::size_t>(got - sent));
      if (wrote <= 0) return;
      sent += wrote;
    }
  }
  shutdown(to, SHUT_WR);
}

}  // namespace brisakett::testing
