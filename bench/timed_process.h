#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brisakett::bench {

// CLOCK_MONOTONIC in nanoseconds: one clock for this process and the
// probes it starts.
std::int64_t MonotonicNs();

struct TimedRun {
  std::int64_t startNs = 0;  // just before the process was created
  std::int64_t endNs = 0;    // once it had ended and been reaped
  int exitStatus = -1;       // -1 when it could not start or was killed
  double Ms() const { return double(endNs - startNs) / 1e6; }
};

// Runs argv[0] (a path) without a shell, its output discarded, with
// `environment` ("NAME=value") added to this process's own, and waits.
TimedRun RunTimed(const std::vector<std::string>& argv,
                  const std::vector<std::string>& environment = {});

// The same for several programs started at once, from the first start to
// the last end; the exit status is the first one that was not 0.
TimedRun RunTimedTogether(const std::vector<std::vector<std::string>>& commands,
                          const std::vector<std::string>& environment = {});

}  // namespace brisakett::bench
