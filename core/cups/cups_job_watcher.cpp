#include "cups/cups_job_watcher.h"

#include <algorithm>
#include <map>
#include <optional>
#include <thread>

#include "cups/cups_connection.h"
#include "cups/cups_dest_name.h"
#include "cups/job_events.h"
#include "cups/job_listing.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// Cancels go out on this many connections at once: cupsd answers only the
// first of several requests sent ahead on one connection, and lets an
// owner cancel one job at a time (Cancel-My-Jobs naming jobs needs an
// administrator), so behind a slow link one connection would take too long.
constexpr std::size_t kCancelConnections = 8;

std::string JobUri(int jobId) { return "ipp://localhost/jobs/" + std::to_string(jobId); }

ServerAnswer CancelJob(CupsConnection& scheduler, int jobId) {
  ipp_t* request = ippNewRequest(IPP_OP_CANCEL_JOB);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, JobUri(jobId).c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
  ipp_t* response = scheduler.Exchange(request, "/");
  if (!response) return scheduler.Failure();
  ServerAnswer verdict = CupsConnection::Verdict(response);
  ippDelete(response);
  return verdict;
}

// Follows the jobs of one run on one connection to their scheduler: each
// round reads the job events, lists the user's jobs not yet ended, and
// only when needed the queues (for why jobs wait) and the ended jobs (for
// how they ended) -- a few requests a round, however many jobs.
class CupsJobFollower final : public JobFollower {
public:
  CupsJobFollower(const SpoolerLogin& login, Deadline& deadline)
      : login_(login), scheduler_(deadline, login), events_(scheduler_), since_(Clock::now()) {
    listener_.emplace(events_, login_);
  }

  // The subscription would lapse by itself within its lease; it is
  // cancelled now so as not to hold one of the server's few.
  ~CupsJobFollower() override {
    listener_.reset();
    Deadline patience(kCancelPatience);
    scheduler_.Use(patience);
    if (scheduler_.Connected()) events_.Cancel(scheduler_);
  }

  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline& deadline) override {
    scheduler_.Use(deadline);
    if (!scheduler_.Connected()) return Each(jobs, scheduler_.Failure());
    const Clock::time_point listed = Clock::now();
    const SpoolerAnswer<std::map<int, ListedJob>> active = ListJobs(scheduler_, false);
    if (!active.Answered()) return Each(jobs, active);
    // A job that had ended by the time of the list has its event in the
    // events read after it, unless the scheduler dropped it, which the
    // read notices.
    const bool heard = listener_->HeardSince(listed, deadline);

    std::optional<SpoolerAnswer<std::map<std::string, ListedQueue>>> queues;
    std::optional<SpoolerAnswer<std::map<int, ListedJob>>> ended;
    int firstEnded = 0;
    for (const WatchedJob& job : jobs) {
      if (active.value.count(job.jobId)) {
        if (!queues) queues = ListQueues(scheduler_);
      } else if (firstEnded == 0 || job.jobId < firstEnded) {
        firstEnded = job.jobId;
      }
    }
    if (firstEnded > 0) ended = ListJobs(scheduler_, true, firstEnded);

    std::vector<SpoolerAnswer<JobLook>> looks;
    looks.reserve(jobs.size());
    for (const WatchedJob& job : jobs) {
      if (const auto listedJob = active.value.find(job.jobId); listedJob != active.value.end()) {
        lastListed_[job.jobId] = listed;
        looks.push_back(queues->Answered()
                            ? SpoolerAnswer<JobLook>(WhyWaiting(listedJob->second, CupsQueueOf(job.deviceName),
                                                                queues->value))
                            : SpoolerAnswer<JobLook>(*queues));
      } else if (!ended->Answered()) {
        looks.push_back(SpoolerAnswer<JobLook>(*ended));
      } else {
        looks.push_back(EndOf(job.jobId, ended->value, heard));
      }
    }
    return looks;
  }

  std::vector<ServerAnswer> Cancel(const std::vector<WatchedJob>& jobs, Deadline& deadline) override {
    std::vector<ServerAnswer> verdicts(jobs.size(), ServerAnswer{ServerVerdict::TimedOut, "not cancelled"});
    const std::size_t connections = std::min(kCancelConnections, jobs.size());
    std::vector<std::thread> cancellers;
    for (std::size_t c = 0; c < connections; ++c) {
      cancellers.emplace_back([&, c] {
        Deadline own = deadline;  // a password's patience is this connection's own
        CupsConnection scheduler(own, login_);
        for (std::size_t i = c; i < jobs.size(); i += connections) {
          verdicts[i] = scheduler.Connected() ? CancelJob(scheduler, jobs[i].jobId) : scheduler.Failure();
        }
      });
    }
    for (std::thread& canceller : cancellers) canceller.join();
    return verdicts;
  }

private:
  static std::vector<SpoolerAnswer<JobLook>> Each(const std::vector<WatchedJob>& jobs,
                                                  const ServerAnswer& failure) {
    return std::vector<SpoolerAnswer<JobLook>>(jobs.size(), SpoolerAnswer<JobLook>(failure));
  }

  // A job no longer listed among those waiting: the list of ended jobs
  // decides, then its completion event; a job in neither is one whose end
  // nobody told, or whose event the scheduler dropped.
  SpoolerAnswer<JobLook> EndOf(int jobId, const std::map<int, ListedJob>& ended, bool heard) const {
    if (const auto listed = ended.find(jobId); listed != ended.end()) {
      return Ended(listed->second.state, listed->second.reasons, listed->second.printerMessage);
    }
    if (std::optional<JobLook> told = events_.EndOf(jobId)) return *told;
    // The events since the list are not in yet: the next round tells.
    if (!heard) {
      const ServerAnswer failure = events_.LastFailure();
      return failure.Answered() ? ServerAnswer{ServerVerdict::TimedOut, NoAnswerInTime(scheduler_.ServerName())}
                                : failure;
    }
    const auto seen = lastListed_.find(jobId);
    if (events_.MayHaveMissed(seen == lastListed_.end() ? since_ : seen->second)) {
      return JobLook{JobLook::State::Vanished,
                     events_.Unusable().empty()
                         ? "the scheduler no longer knows the job, and dropped the events that "
                           "would have told how it ended"
                         : "the scheduler no longer knows the job, and " + events_.Unusable()};
    }
    return JobLook{JobLook::State::Vanished,
                   "the scheduler no longer knows the job and did not say how it ended"};
  }

  const SpoolerLogin& login_;
  CupsConnection scheduler_;
  JobEvents events_;
  std::optional<JobEventListener> listener_;
  const Clock::time_point since_;
  std::map<int, Clock::time_point> lastListed_;
};

}  // namespace

std::unique_ptr<JobFollower> CupsJobWatcher::Follow(std::chrono::milliseconds, Deadline& deadline) const {
  return std::make_unique<CupsJobFollower>(login_, deadline);
}

}  // namespace brisakett
