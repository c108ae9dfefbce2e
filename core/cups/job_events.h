#pragma once

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "cups/cups_connection.h"
#include "job_watcher.h"

namespace brisakett {

// One run's pull subscription (ippget) to the scheduler's job-completed
// events: a job's end still told once a scheduler that keeps no job
// history has forgotten the job. The lease is short and renewed while the
// run lasts, so that a run that dies leaves nothing on the server for
// long; the server keeps a few events at most (MaxEvents) and drops the
// oldest, so a gap in their numbers is noticed, not taken for silence.
class JobEvents {
public:
  using Clock = std::chrono::steady_clock;

  // Subscribes; without a subscription (refused, say) the events are not
  // read, and Unusable() says why.
  explicit JobEvents(CupsConnection& scheduler);

  // Reads every event since the last read, renewing the lease when due.
  // False when the scheduler did not answer (the events stay to be read).
  bool Read(CupsConnection& scheduler);
  // Gives up the subscription at the end of the run.
  void Cancel(CupsConnection& scheduler);

  // How the job ended, when its completion event was read.
  std::optional<JobLook> EndOf(int jobId) const;
  // Whether events may have been lost since `since`, so that a job not
  // heard of may still have ended.
  bool MayHaveMissed(Clock::time_point since) const;
  // Why there are no events to read; empty while there are.
  const std::string& Unusable() const { return unusable_; }
  ServerAnswer LastFailure() const { return lastFailure_; }

private:
  void Renew(CupsConnection& scheduler);
  void GiveUp(const ServerAnswer& refusal);

  int subscriptionId_ = 0;
  int nextSequence_ = 1;
  Clock::time_point renewed_ = Clock::now();
  std::optional<Clock::time_point> lastGap_;
  std::string unusable_;
  ServerAnswer lastFailure_;
  std::map<int, JobLook> ended_;
};

}  // namespace brisakett
