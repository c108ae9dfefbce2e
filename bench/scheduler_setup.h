#pragma once

#include <cstdint>
#include <string>

#include "private_cupsd.h"

namespace brisakett::bench {

// "Bench-0001" for 1: zero-padded, so the scheduler's name order is the
// number order and the first, middle and last queue are known.
std::string BenchQueueName(int number);

// Gives the scheduler exactly `count` raw queues, Bench-0001 onwards, all
// printing to the AppSocket printer at 127.0.0.1:port, with the last one as
// the default, and has it log every request in its access log.
//
// lpadmin takes tens of milliseconds per queue (the bench measures it), so
// for 1000 queues the scheduler is stopped, its printers.conf written whole
// and the scheduler started again on the same socket.
bool RestartWithQueues(testing::PrivateCupsd& cupsd, int count, std::uint16_t port,
                       std::string* why);

}  // namespace brisakett::bench
