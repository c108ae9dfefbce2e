#include "capture_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <stdexcept>

namespace brisakett::tools {

CaptureServer::CaptureServer(std::uint16_t port, JobCallback onJob, std::string address)
    : port_(port), onJob_(std::move(onJob)), address_(std::move(address)) {
  int wake[2];
  if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::runtime_error(std::string("capture printer: pipe: ") + std::strerror(errno));
  }
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  if (!Listen()) {
    const std::string why = std::strerror(errno);
    close(wakeRead_);
    close(wakeWrite_);
    throw std::runtime_error("capture printer: cannot listen on " + address_ + ":" +
                             std::to_string(port) + ": " + why);
  }
  thread_ = std::thread(&CaptureServer::Serve, this);
}

CaptureServer::~CaptureServer() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  if (listener_ >= 0) close(listener_);
  close(wakeRead_);
  close(wakeWrite_);
}

bool CaptureServer::Listen() {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const int yes = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);

  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (inet_pton(AF_INET, address_.c_str(), &address.sin_addr) != 1) {
    close(fd);
    errno = EINVAL;
    return false;
  }
  address.sin_port = htons(port_);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || listen(fd, 16) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return false;
  }
  port_ = ntohs(address.sin_port);
  listener_ = fd;
  return true;
}

void CaptureServer::Wake() const {
  const char byte = 0;
  // A full pipe already holds a wake-up, so a failed write loses nothing.
  [[maybe_unused]] const ssize_t ignored = write(wakeWrite_, &byte, 1);
}

std::vector<std::string> CaptureServer::Jobs() const {
  std::lock_guard lock(mutex_);
  return jobs_;
}

bool CaptureServer::WaitForJobs(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return jobs_.size() >= count; });
}

void CaptureServer::Refuse() {
  std::unique_lock lock(mutex_);
  wantListening_ = false;
  Wake();
  changed_.wait(lock, [&] { return listener_ < 0 || stopping_; });
}

bool CaptureServer::Resume() {
  std::unique_lock lock(mutex_);
  wantListening_ = true;
  listenFailed_ = false;
  Wake();
  changed_.wait(lock, [&] { return listener_ >= 0 || listenFailed_ || stopping_; });
  return listener_ >= 0;
}

void CaptureServer::Serve() {
  std::map<int, std::string> connections;  // socket -> bytes received so far

  for (;;) {
    int listener;
    {
      std::lock_guard lock(mutex_);
      if (stopping_) break;
      // The listener is opened and closed only here, so poll() below never
      // watches a descriptor that another thread has closed.
      if (!wantListening_ && listener_ >= 0) {
        close(listener_);
        listener_ = -1;
        changed_.notify_all();
      } else if (wantListening_ && listener_ < 0 && !listenFailed_) {
        if (!Listen()) listenFailed_ = true;
        changed_.notify_all();
      }
      listener = listener_;
    }

    std::vector<pollfd> watched{{wakeRead_, POLLIN, 0}};
    if (listener >= 0) watched.push_back({listener, POLLIN, 0});
    for (const auto& [fd, bytes] : connections) watched.push_back({fd, POLLIN, 0});

    if (poll(watched.data(), watched.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }

    for (const pollfd& entry : watched) {
      if (entry.revents == 0) continue;
      if (entry.fd == wakeRead_) {
        char drain[64];
        while (read(wakeRead_, drain, sizeof drain) > 0) {
        }
      } else if (entry.fd == listener) {
        const int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (client >= 0) connections.emplace(client, std::string());
      } else {
        std::string& bytes = connections[entry.fd];
        char buffer[65536];
        const ssize_t got = recv(entry.fd, buffer, sizeof buffer, 0);
        if (got > 0) {
          bytes.append(buffer, static_cast<std::size_t>(got));
          continue;
        }
        if (got < 0 && (errno == EAGAIN || errno == EINTR)) continue;

        // End of the client's data, or a broken connection. Only a clean
        // end makes a job; a reset one was never fully sent.
        close(entry.fd);
        std::string job = std::move(bytes);
        connections.erase(entry.fd);
        if (got < 0) continue;

        std::size_t number;
        {
          std::lock_guard lock(mutex_);
          jobs_.push_back(job);
          number = jobs_.size();
          changed_.notify_all();
        }
        if (onJob_) onJob_(number, job);
      }
    }
  }

  for (const auto& [fd, bytes] : connections) close(fd);
}

}  // namespace brisakett::tools
