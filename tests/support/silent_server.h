#pragma once

#include <unistd.h>

#include <cstdint>

#include "loopback_socket.h"

namespace brisakett::testing {

// A print server that takes connections and never says a word, as a hung
// or overloaded one does. The kernel completes the connections; nobody
// reads them.
class SilentServer {
public:
  SilentServer() : fd_(ListenOnLoopback(port_)) {}
  ~SilentServer() {
    if (fd_ >= 0) close(fd_);
  }
  SilentServer(const SilentServer&) = delete;
  SilentServer& operator=(const SilentServer&) = delete;

  std::uint16_t Port() const { return port_; }

private:
  std::uint16_t port_ = 0;  // before fd_, which the constructor sets with it
  int fd_ = -1;
};

}  // namespace brisakett::testing
