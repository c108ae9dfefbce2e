#pragma once

#include "send_many_common.h"

namespace brisakett::bench {

// Following jobs that wait in stopped queues, on the plain loopback link
// to a scheduler and behind a relay that adds latency: the requests and
// time of one round over `followedJobs` jobs, against the round's two
// lists asked alone; then `brisakett-send --cancel-on-timeout` over
// `cancelledJobs` of them, from the end of its time to its end. Prints two
// Markdown tables.
void FollowedJobsFigure(const Settings& settings);

}  // namespace brisakett::bench
