#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "bench_queue_name.h"
#include "private_cupsd.h"

namespace brisakett::bench {

// Rewrites a stopped private scheduler's cupsd.conf to behave like an
// installed one where it matters to the figures: CUPS's default
// DirtyCleanInterval (the tests' 0 rewrites printers.conf at every job),
// LogLevel warn instead of debug, and every request in the access log.
bool ConfigureLikeAnInstalledScheduler(const std::string& cupsdConf);

// Stops the scheduler, configures it as above and starts it again, queues kept.
bool RestartLikeAnInstalledScheduler(testing::PrivateCupsd& cupsd, std::string* why);

// Gives the scheduler exactly `count` raw queues, Bench-0001 onwards, all
// printing to the AppSocket printer at 127.0.0.1:port (or, with `hostOf`,
// at hostOf(number):port; with `ippResource`, to the IPP printer at
// ipp://host:port/ippResource), with the last one as the default,
// configured as above.
//
// lpadmin takes tens of milliseconds per queue (the bench measures it), so
// for 1000 or 5000 queues the scheduler is stopped, its printers.conf
// written whole and the scheduler started again on the same socket.
bool RestartWithQueues(testing::PrivateCupsd& cupsd, int count, std::uint16_t port,
                       std::string* why, const std::function<std::string(int)>& hostOf = {},
                       const std::string& ippResource = {});

}  // namespace brisakett::bench
