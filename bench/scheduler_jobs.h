#pragma once

#include <cstddef>

#include "capture_server.h"
#include "private_cupsd.h"

namespace brisakett::bench {

// The highest job number the scheduler has given.
int LastJobId(const testing::PrivateCupsd& cupsd);

// Waits until the scheduler has no job left that is not completed; gives
// up the bench after 10 minutes.
void WaitUntilNoJobActive(const testing::PrivateCupsd& cupsd);

// Waits for the capture printer to have `total` jobs, then checks that the
// scheduler's jobs numbered after `lastJobBefore` are one per queue, on
// `queues` queues; gives up the bench when not.
void CheckEveryQueueOnce(const testing::PrivateCupsd& cupsd, const tools::CaptureServer& printer,
                         std::size_t total, int lastJobBefore, int queues);

}  // namespace brisakett::bench
