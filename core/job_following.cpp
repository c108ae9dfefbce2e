#include "job_following.h"

#include <algorithm>
#include <optional>

namespace brisakett {
namespace {

// A warm-up job is tiny, so the first look comes soon.
constexpr std::chrono::milliseconds kFirstLook{250};
constexpr std::chrono::milliseconds kLongestGap{2000};

double SecondsSince(JobFollowing::Clock::time_point start) {
  return std::chrono::duration<double>(JobFollowing::Clock::now() - start).count();
}

}  // namespace

void JobFollowing::Add(Underway accepted) {
  jobs_.push_back({std::move(accepted), Clock::now() + kFirstLook, kFirstLook});
}

JobFollowing::Clock::time_point JobFollowing::NextLook() const {
  Clock::time_point next = Clock::time_point::max();
  for (const Followed& job : jobs_) next = std::min(next, job.nextLook);
  return next;
}

// True when the job's report is final.
bool JobFollowing::TakeLook(Followed& followed, const SpoolerAnswer<JobLook>& look) {
  PrinterWakeReport& report = followed.job.report;
  if (!look.Answered()) {
    // What was seen before says more than a look that did not come.
    if (report.reason.empty()) report.reason = "the scheduler did not report the job: " + look.reason;
  } else {
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
        break;
    }
  }
  followed.nextLook = Clock::now() + followed.gap;
  followed.gap = std::min(followed.gap * 2, kLongestGap);
  return false;
}

std::vector<Underway> JobFollowing::Look(Deadline& deadline) {
  const Clock::time_point now = Clock::now();
  std::vector<std::size_t> due;
  std::vector<WatchedJob> watched;
  for (std::size_t i = 0; i < jobs_.size(); ++i) {
    if (jobs_[i].nextLook > now) continue;
    due.push_back(i);
    watched.push_back({jobs_[i].job.report.name, jobs_[i].job.report.jobId});
  }
  std::vector<Underway> ended;
  if (watched.empty()) return ended;
  const std::vector<SpoolerAnswer<JobLook>> looks = follower_.Look(watched, deadline);
  std::vector<bool> done(jobs_.size(), false);
  for (std::size_t k = 0; k < due.size() && k < looks.size(); ++k) {
    Followed& followed = jobs_[due[k]];
    if (!TakeLook(followed, looks[k])) continue;
    followed.job.report.seconds = SecondsSince(followed.job.started);
    ended.push_back(std::move(followed.job));
    done[due[k]] = true;
  }
  std::size_t index = 0;
  std::erase_if(jobs_, [&](const Followed&) { return done[index++]; });
  return ended;
}

std::vector<Underway> JobFollowing::GiveUp() {
  // The cancels of every job still waiting share one bound.
  std::optional<Deadline> cancels;
  std::vector<Underway> ended;
  for (Followed& followed : jobs_) {
    PrinterWakeReport& report = followed.job.report;
    report.outcome = WakeOutcome::StillWaiting;
    if (report.reason.empty()) report.reason = "the time ran out before the scheduler reported the job";
    if (cancelOnTimeout_) {
      if (!cancels) cancels.emplace(kServerPatience);
      const ServerAnswer cancelled = follower_.Cancel({report.name, report.jobId}, *cancels);
      report.cancelled = cancelled.Answered();
      if (!report.cancelled) report.reason += "; the job could not be cancelled: " + cancelled.reason;
    }
    report.seconds = SecondsSince(followed.job.started);
    ended.push_back(std::move(followed.job));
  }
  jobs_.clear();
  return ended;
}

}  // namespace brisakett
