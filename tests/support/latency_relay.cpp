#include "latency_relay.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <string>

namespace brisakett::testing {
namespace {

using Clock = std::chrono::steady_clock;

// Reads from `from` and writes each piece to `to` once it is `delay` old,
// until `from` closes; then closes the way out.
void Delay(int from, int to, std::chrono::milliseconds delay) {
  std::deque<std::pair<Clock::time_point, std::string>> pieces;
  bool open = true;
  while (open || !pieces.empty()) {
    int wait = 20;
    if (!pieces.empty()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(pieces.front().first - Clock::now());
      wait = static_cast<int>(std::max<long long>(0, left.count()));
    }
    pollfd readable{from, POLLIN, 0};
    if (open && poll(&readable, 1, wait) > 0) {
      char buffer[16384];
      const ssize_t got = read(from, buffer, sizeof buffer);
      if (got <= 0) {
        open = false;
      } else {
        pieces.emplace_back(Clock::now() + delay, std::string(buffer, static_cast<std::size_t>(got)));
      }
    } else if (!open && wait > 0) {
      poll(nullptr, 0, wait);
    }
    while (!pieces.empty() && pieces.front().first <= Clock::now()) {
      const std::string& piece = pieces.front().second;
      if (send(to, piece.data(), piece.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(piece.size())) return;
      pieces.pop_front();
    }
  }
  shutdown(to, SHUT_WR);
}

}  // namespace

LatencyRelay::LatencyRelay(std::uint16_t schedulerPort, std::chrono::milliseconds oneWay)
    : schedulerPort_(schedulerPort), oneWay_(oneWay), service_([this](int client) { Serve(client); }) {}

void LatencyRelay::Serve(int client) {
  const int scheduler = ConnectToLoopback(schedulerPort_);
  if (scheduler < 0) return;
  service_.Keep(scheduler);
  service_.Run([=, delay = oneWay_] { Delay(scheduler, client, delay); });
  Delay(client, scheduler, oneWay_);
}

}  // namespace brisakett::testing
