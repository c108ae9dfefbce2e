#pragma once

#include <chrono>
#include <vector>

#include "job_watcher.h"
#include "run_inbox.h"

namespace brisakett {

// The second stage of a wake-up run: each accepted job followed through
// the spooler until the printer has it, the spooler gives up on it, or
// the time runs out. Looks come soon at first and space out, so that a
// long wait over many printers stays a light load on the scheduler. Used
// from one thread.
class JobFollowing {
public:
  using Clock = std::chrono::steady_clock;

  JobFollowing(JobFollower& follower, bool cancelOnTimeout)
      : follower_(follower), cancelOnTimeout_(cancelOnTimeout) {}

  void Add(Underway accepted);
  bool Empty() const { return jobs_.empty(); }
  // When Look has a job to look at.
  Clock::time_point NextLook() const;
  // Looks at every job whose turn it is, within `deadline`. The jobs whose
  // end is known leave, with their outcome: Delivered (the printer has
  // it), FailedAtPrinter or Unknown.
  std::vector<Underway> Look(Deadline& deadline);
  // The time is up: every job still followed leaves as still waiting, and
  // with `cancelOnTimeout` is cancelled.
  std::vector<Underway> GiveUp();

private:
  struct Followed {
    Underway job;
    Clock::time_point nextLook;
    std::chrono::milliseconds gap;
  };
  bool TakeLook(Followed& job, const SpoolerAnswer<JobLook>& look);

  JobFollower& follower_;
  const bool cancelOnTimeout_;
  std::vector<Followed> jobs_;
};

}  // namespace brisakett
