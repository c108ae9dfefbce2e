#include "upgrade_proxy.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string>
#include <utility>

#include "loopback_socket.h"

namespace brisakett::testing {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
  for (std::size_t sent = 0; sent < bytes.size();) {
    // A client that has gone is no signal to end the test process.
    const ssize_t wrote = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (wrote <= 0) return false;
    sent += static_cast<std::size_t>(wrote);
  }
  return true;
}

// What a client sent, read as far as needed and no further.
class Incoming {
public:
  explicit Incoming(int fd) : fd_(fd) {}

  // Up to and including the first `end`; false when the client went away.
  bool ReadThrough(const std::string& end, std::string& read) {
    std::size_t at;
    while ((at = pending_.find(end)) == std::string::npos) {
      if (!More()) return false;
    }
    read = pending_.substr(0, at + end.size());
    pending_.erase(0, at + end.size());
    return true;
  }
  bool Skip(std::size_t count) {
    while (pending_.size() < count) {
      count -= pending_.size();
      pending_.clear();
      if (!More()) return false;
    }
    pending_.erase(0, count);
    return true;
  }
  // What was read beyond the last request, handed on with it.
  std::string TakePending() { return std::exchange(pending_, {}); }

private:
  bool More() {
    char buffer[16384];
    const ssize_t got = read(fd_, buffer, sizeof buffer);
    if (got <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  int fd_;
  std::string pending_;
};

// The value of header `name` (lower case) in `head`, or nothing.
std::optional<std::string> Header(const std::string& head, const std::string& name) {
  std::string lower = head;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const std::size_t at = lower.find("\r\n" + name + ":");
  if (at == std::string::npos) return std::nullopt;
  const std::size_t start = lower.find_first_not_of(' ', at + name.size() + 3);
  return lower.substr(start, lower.find("\r\n", start) - start);
}

// Reads past a refused request's body, so the next request on the
// connection is read from its start. libcups usually reconnects instead.
bool SkipBody(Incoming& in, const std::string& head) {
  if (const auto length = Header(head, "content-length")) {
    return in.Skip(std::stoul(*length));
  }
  const auto encoding = Header(head, "transfer-encoding");
  if (!encoding || encoding->find("chunked") == std::string::npos) return true;
  for (std::string line;;) {
    if (!in.ReadThrough("\r\n", line)) return false;
    const std::size_t size = std::stoul(line, nullptr, 16);
    if (size == 0) return in.ReadThrough("\r\n", line);  // no trailers from libcups
    if (!in.Skip(size + 2)) return false;
  }
}

// Both ways until either side closes.
void Relay(int a, int b) {
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  char buffer[16384];
  while (poll(fds, 2, -1) > 0) {
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0 || !WriteAll(fds[1 - i].fd, std::string(buffer, static_cast<std::size_t>(got)))) {
        return;
      }
    }
  }
}

}  // namespace

UpgradeProxy::UpgradeProxy(std::uint16_t schedulerPort)
    : schedulerPort_(schedulerPort), service_([this](int client) { Serve(client); }) {}

void UpgradeProxy::Serve(int client) {
  static const std::string kUpgradeRequired =
      "HTTP/1.1 426 Upgrade Required\r\n"
      "Connection: Upgrade\r\n"
      "Upgrade: TLS/1.2,TLS/1.1,TLS/1.0\r\n"
      "Content-Length: 0\r\n"
      "\r\n";
  Incoming in(client);
  std::string head;
  for (;;) {
    if (!in.ReadThrough("\r\n\r\n", head)) return;
    if (Header(head, "upgrade")) break;
    ++refused_;
    if (!WriteAll(client, kUpgradeRequired) || !SkipBody(in, head)) return;
  }

  const int server = ConnectToLoopback(schedulerPort_);
  if (server < 0) return;
  service_.Keep(server);
  ++upgraded_;
  // The request, and whatever followed it already, then the TLS session.
  if (!WriteAll(server, head + in.TakePending())) return;
  Relay(client, server);
  shutdown(client, SHUT_RDWR);
  shutdown(server, SHUT_RDWR);
}

}  // namespace brisakett::testing
