#pragma once

#include "job_watcher.h"
#include "password_prompt.h"

namespace brisakett {

// Follows jobs on the scheduler that CupsConnection reaches, on one
// connection kept for the run: the user's job list, the queues for why a
// job waits, and a pull subscription (ippget) to job-completed events,
// which still tells how a job ended after a scheduler that keeps no job
// history has forgotten it.
class CupsJobWatcher final : public JobWatcher {
public:
  explicit CupsJobWatcher(const SpoolerLogin& login) : login_(login) {}

  std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                      Deadline& deadline) const override;

private:
  const SpoolerLogin& login_;
};

}  // namespace brisakett
