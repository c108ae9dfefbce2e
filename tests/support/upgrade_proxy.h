#pragma once

#include <atomic>
#include <cstdint>

#include "loopback_socket.h"

namespace brisakett::testing {

// A print server that insists on encryption, as offices run them: a
// loopback TCP relay in front of a scheduler (PrivateCupsdOptions::
// encryption) that answers every plain HTTP request "426 Upgrade
// Required". A request that asks for the upgrade (an Upgrade: header) goes
// on to the scheduler, and from then on that connection's bytes, the TLS
// handshake and what it carries, are relayed both ways untouched.
class UpgradeProxy {
public:
  explicit UpgradeProxy(std::uint16_t schedulerPort);

  UpgradeProxy(const UpgradeProxy&) = delete;
  UpgradeProxy& operator=(const UpgradeProxy&) = delete;

  // 0 when it could not listen.
  std::uint16_t Port() const { return service_.Port(); }
  // How many requests were turned away, and how many connections upgraded.
  int Refused() const { return refused_; }
  int Upgraded() const { return upgraded_; }

private:
  void Serve(int client);

  std::uint16_t schedulerPort_;
  std::atomic<int> refused_{0};
  std::atomic<int> upgraded_{0};
  LoopbackService service_;  // last: it stops first
};

}  // namespace brisakett::testing
