#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "cups/cups_connection.h"
#include "job_watcher.h"

namespace brisakett {

// One run's pull subscription (ippget) to the scheduler's job-completed
// events: a job's end still told once a scheduler that keeps no job
// history has forgotten the job. The lease is short and renewed while the
// run lasts, so that a run that dies leaves nothing on the server for
// long; the server keeps a few events at most (MaxEvents) and drops the
// oldest, so a gap in their numbers is noticed, not taken for silence.
// Read from one thread, asked from another.
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
  std::string Unusable() const;
  ServerAnswer LastFailure() const;

private:
  void Renew(CupsConnection& scheduler);
  void GiveUp(const ServerAnswer& refusal);

  mutable std::mutex mutex_;
  int subscriptionId_ = 0;
  int nextSequence_ = 1;
  Clock::time_point renewed_ = Clock::now();
  std::optional<Clock::time_point> lastGap_;
  std::string unusable_;
  ServerAnswer lastFailure_;
  std::map<int, JobLook> ended_;
};

// Reads a subscription's events on a thread and a connection of its own,
// one read after another, for as long as it lives: cupsd does not hold a
// Get-Notifications open until something happens (it ignores
// notify-wait), and drops the oldest of the few events it keeps, so a
// reader that waits for the next round loses the ends of jobs that finish
// together.
class JobEventListener {
public:
  using Clock = std::chrono::steady_clock;

  JobEventListener(JobEvents& events, const SpoolerLogin& login);
  ~JobEventListener();

  JobEventListener(const JobEventListener&) = delete;
  JobEventListener& operator=(const JobEventListener&) = delete;

  // Waits, within `deadline`, until a read that began at `since` or later
  // has ended. False when none did (the scheduler did not answer).
  bool HeardSince(Clock::time_point since, const Deadline& deadline);

private:
  void Listen();

  JobEvents& events_;
  const SpoolerLogin& login_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  std::optional<Clock::time_point> lastHeard_;  // when the last read that answered began
  std::thread thread_;
};

}  // namespace brisakett
