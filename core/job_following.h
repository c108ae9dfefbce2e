#pragma once

#include <chrono>
#include <vector>

#include "job_watcher.h"
#include "run_bound.h"
#include "run_inbox.h"

namespace brisakett {

// The second stage of a wake-up run: each accepted job followed through
// the spooler until the printer has it, the spooler gives up on it, or
// the time runs out. Each round looks at every job at once; rounds come
// soon after a job is added and space out, so that a long wait over many
// printers stays a light load on the scheduler. Used from one thread.
class JobFollowing {
public:
  using Clock = std::chrono::steady_clock;

  JobFollowing(JobFollower& follower, bool cancelOnTimeout, const RunBound& bound)
      : follower_(follower), cancelOnTimeout_(cancelOnTimeout), bound_(bound) {}

  void Add(Underway accepted);
  bool Empty() const { return jobs_.empty(); }
  // When the next round is due.
  Clock::time_point NextLook() const { return jobs_.empty() ? Clock::time_point::max() : nextRound_; }
  // One round within `deadline`. The jobs whose end is known leave, with
  // their outcome: Delivered (the printer has it), FailedAtPrinter or
  // Unknown.
  std::vector<Underway> Look(Deadline& deadline);
  // The run is over: every job still followed leaves as still waiting,
  // and with `cancelOnTimeout` is cancelled.
  std::vector<Underway> GiveUp();

private:
  bool TakeLook(Underway& job, const SpoolerAnswer<JobLook>& look);

  JobFollower& follower_;
  const bool cancelOnTimeout_;
  const RunBound& bound_;
  std::vector<Underway> jobs_;
  Clock::time_point nextRound_ = Clock::time_point::max();
  std::chrono::milliseconds gap_{0};
};

}  // namespace brisakett
