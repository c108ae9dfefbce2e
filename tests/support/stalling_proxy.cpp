#include "stalling_proxy.h"

#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "loopback_socket.h"

namespace brisakett::testing {
StallingProxy::StallingProxy(std::uint16_t schedulerPort, pid_t schedulerPid)
    : schedulerPort_(schedulerPort),
      schedulerPid_(schedulerPid),
      service_([this](int client) { Serve(client); }) {}

// The service stops after this, with the scheduler awake to let go.
StallingProxy::~StallingProxy() { Resume(); }

void StallingProxy::Resume() {
  if (stalled_.exchange(false)) kill(schedulerPid_, SIGCONT);
}

void StallingProxy::Serve(int client) {
  const int server = ConnectToLoopback(schedulerPort_);
  if (server < 0) {
    shutdown(client, SHUT_RDWR);
    return;
  }
  service_.Keep(server);
  service_.Run([this, client, server] { Relay(server, client, false); });
  Relay(client, server, true);
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
      const ssize_t wrote = send(to, buffer + sent, static_cast<std::size_t>(got - sent), MSG_NOSIGNAL);
      if (wrote <= 0) return;
      sent += wrote;
    }
  }
  shutdown(to, SHUT_WR);
}

}  // namespace brisakett::testing
