#pragma once

#include <chrono>
#include <cstdint>

#include "loopback_socket.h"

namespace brisakett::testing {

// A print server some milliseconds away: a loopback TCP relay in front of
// a scheduler's port that hands every byte on, both ways, `oneWay` after it
// came, as a link of that latency does (a round trip costs twice that).
class LatencyRelay {
public:
  LatencyRelay(std::uint16_t schedulerPort, std::chrono::milliseconds oneWay);

  LatencyRelay(const LatencyRelay&) = delete;
  LatencyRelay& operator=(const LatencyRelay&) = delete;

  // 0 when it could not listen.
  std::uint16_t Port() const { return service_.Port(); }

private:
  void Serve(int client);

  std::uint16_t schedulerPort_;
  std::chrono::milliseconds oneWay_;
  LoopbackService service_;  // last: it stops first
};

}  // namespace brisakett::testing
