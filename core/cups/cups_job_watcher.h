#pragma once

#include "job_watcher.h"
#include "password_prompt.h"

namespace brisakett {

// Follows jobs on the scheduler that CupsConnection reaches: one pull
// subscription (ippget) on the whole server for the jobs' events, which
// still tells how a job ended after a scheduler that keeps no job history
// has forgotten it, and a look at each job and its printer for why it
// waits.
class CupsJobWatcher final : public JobWatcher {
public:
  explicit CupsJobWatcher(const SpoolerLogin& login) : login_(login) {}

  std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                      Deadline& deadline) const override;

private:
  const SpoolerLogin& login_;
};

}  // namespace brisakett
