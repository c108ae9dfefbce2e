#include "job_following.h"

#include <algorithm>

namespace brisakett {
namespace {

// A warm-up job is tiny, so the first round comes soon.
constexpr std::chrono::milliseconds kFirstLook{250};
constexpr std::chrono::milliseconds kLongestGap{2000};

double SecondsSince(JobFollowing::Clock::time_point start) {
  return std::chrono::duration<double>(JobFollowing::Clock::now() - start).count();
}

}  // namespace

void JobFollowing::Add(Underway accepted) {
  jobs_.push_back(std::move(accepted));
  // A new job is looked at soon, whatever the spacing reached.
  nextRound_ = std::min(nextRound_, Clock::now() + kFirstLook);
  gap_ = kFirstLook;
}

// True when the job's report is final.
bool JobFollowing::TakeLook(Underway& job, const SpoolerAnswer<JobLook>& look) {
  PrinterWakeReport& report = job.report;
  if (!look.Answered()) {
    // What was seen before says more than a look that did not come; and a
    // look cut short by the run's own end is no silence of the server.
    if (report.reason.empty() && !(look.verdict == ServerVerdict::TimedOut && bound_.Over())) {
      report.reason = "the scheduler did not report the job: " + look.reason;
    }
    return false;
  }
  switch (look.value.state) {
    case JobLook::State::Completed:
      report.outcome = WakeOutcome::Delivered;
      report.reason.clear();
      return true;
    case JobLook::State::Aborted:
    case JobLook::State::Canceled:
      report.outcome = WakeOutcome::FailedAtPrinter;
      report.reason = look.value.reason;
      return true;
    case JobLook::State::Vanished:
      report.outcome = WakeOutcome::Unknown;
      report.reason = look.value.reason;
      return true;
    case JobLook::State::Waiting:
      report.reason = look.value.reason;
      return false;
  }
  return false;
}

std::vector<Underway> JobFollowing::Look(Deadline& deadline) {
  std::vector<WatchedJob> watched;
  watched.reserve(jobs_.size());
  for (const Underway& job : jobs_) watched.push_back({job.report.name, job.report.jobId});
  const std::vector<SpoolerAnswer<JobLook>> looks = follower_.Look(watched, deadline);

  std::vector<Underway> ended, waiting;
  for (std::size_t i = 0; i < jobs_.size(); ++i) {
    Underway& job = jobs_[i];
    if (i < looks.size() && TakeLook(job, looks[i])) {
      job.report.seconds = SecondsSince(job.started);
      ended.push_back(std::move(job));
    } else {
      waiting.push_back(std::move(job));
    }
  }
  jobs_.swap(waiting);
  nextRound_ = Clock::now() + gap_;
  gap_ = std::min(gap_ * 2, kLongestGap);
  return ended;
}

std::vector<Underway> JobFollowing::GiveUp() {
  std::vector<Underway> ended;
  std::vector<WatchedJob> watched;
  for (Underway& job : jobs_) {
    PrinterWakeReport& report = job.report;
    report.outcome = WakeOutcome::StillWaiting;
    if (report.reason.empty()) report.reason = std::string(bound_.Why()) + " before the scheduler reported the job";
    watched.push_back({report.name, report.jobId});
  }
  if (cancelOnTimeout_ && !watched.empty()) {
    // Every cancel shares one bound, however many jobs wait.
    Deadline cancels = bound_.CancelDeadline();
    const std::vector<ServerAnswer> verdicts = follower_.Cancel(watched, cancels);
    for (std::size_t i = 0; i < jobs_.size() && i < verdicts.size(); ++i) {
      PrinterWakeReport& report = jobs_[i].report;
      report.cancelled = verdicts[i].Answered();
      if (report.cancelled) continue;
      // A cancel the server did not answer in time may still have been
      // made: only a refusal or an outage says the job is still queued.
      report.reason += verdicts[i].verdict == ServerVerdict::TimedOut
                           ? "; the print server did not confirm the job's cancel in time, so the job may still be queued"
                           : "; the job could not be cancelled: " + verdicts[i].reason;
    }
  }
  for (Underway& job : jobs_) {
    job.report.seconds = SecondsSince(job.started);
    ended.push_back(std::move(job));
  }
  jobs_.clear();
  return ended;
}

}  // namespace brisakett
