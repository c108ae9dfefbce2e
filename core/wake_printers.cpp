#include "wake_printers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "messages.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// A warm-up job is tiny, so the first look comes soon; later looks space
// out, so that a long wait over many printers stays a light load on the
// scheduler.
constexpr std::chrono::milliseconds kFirstLook{250};
constexpr std::chrono::milliseconds kLongestGap{2000};

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

struct Submitted {
  PrinterWakeReport report;
  Clock::time_point started;
};

struct Followed {
  PrinterWakeReport report;
  Clock::time_point started;
  Clock::time_point deadline;
  Clock::time_point nextLook;
  std::chrono::milliseconds gap;
  std::string reason;  // why it waits, as last seen
};

// Hands the submitters' results to the calling thread.
struct Mailbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Submitted> results;
  std::size_t submittersLeft = 0;
};

PrinterWakeReport Submit(Spooler& spooler, const std::string& name) {
  Deadline deadline(kServerPatience);
  const JobResult job = SubmitWarmUpJob(spooler, name, deadline);
  PrinterWakeReport report;
  report.name = name;
  switch (job.status) {
    case JobResult::Status::Accepted:
      report.outcome = WakeOutcome::Sent;
      report.jobId = job.jobId;
      break;
    case JobResult::Status::OpenFailed:
      report.outcome = WakeOutcome::NotRecognized;
      report.reason = messages::kPrinterNotRecognized;
      break;
    case JobResult::Status::Failed:
      report.outcome = WakeOutcome::Refused;
      report.reason = job.reason;
      break;
    case JobResult::Status::Unreachable:
      report.outcome = WakeOutcome::Unreachable;
      report.reason = job.reason;
      break;
  }
  return report;
}

// One look at a followed job. True when its report is final.
bool LookAgain(Followed& job, const JobWatcher& watcher, const WakeSettings& settings) {
  const JobLook look = watcher.Look(job.report.name, job.report.jobId);
  const Clock::time_point now = Clock::now();
  switch (look.state) {
    case JobLook::State::Completed:
      job.report.outcome = WakeOutcome::Delivered;
      return true;
    case JobLook::State::Aborted:
    case JobLook::State::Canceled:
      job.report.outcome = WakeOutcome::FailedAtPrinter;
      job.report.reason = look.reason;
      return true;
    case JobLook::State::Waiting:
      break;
  }
  job.reason = look.reason;
  if (now < job.deadline) {
    job.nextLook = std::min(now + job.gap, job.deadline);
    job.gap = std::min(job.gap * 2, kLongestGap);
    return false;
  }
  job.report.outcome = WakeOutcome::StillWaiting;
  job.report.reason = job.reason;
  if (settings.cancelOnTimeout) {
    std::string why;
    job.report.cancelled = watcher.Cancel(job.report.name, job.report.jobId, why);
    if (!job.report.cancelled) job.report.reason += "; the job could not be cancelled: " + why;
  }
  return true;
}

}  // namespace

void WakePrinters(const std::vector<std::string>& deviceNames, Spooler& spooler,
                  const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished) {
  Mailbox mailbox;
  std::atomic<std::size_t> nextName{0};
  const std::size_t threads =
      std::min(std::max<std::size_t>(settings.parallel, 1), deviceNames.size());
  mailbox.submittersLeft = threads;

  std::vector<std::thread> submitters;
  submitters.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) {
    submitters.emplace_back([&] {
      for (std::size_t i = nextName++; i < deviceNames.size(); i = nextName++) {
        const Clock::time_point started = Clock::now();
        PrinterWakeReport report = Submit(spooler, deviceNames[i]);
        const std::lock_guard lock(mailbox.mutex);
        mailbox.results.push_back({std::move(report), started});
        mailbox.changed.notify_one();
      }
      const std::lock_guard lock(mailbox.mutex);
      --mailbox.submittersLeft;
      mailbox.changed.notify_one();
    });
  }

  const auto report = [&finished](PrinterWakeReport& done, Clock::time_point started) {
    done.seconds = SecondsSince(started);
    finished(done);
  };

  std::vector<Followed> following;
  std::unique_lock lock(mailbox.mutex);
  for (;;) {
    std::deque<Submitted> arrived;
    arrived.swap(mailbox.results);
    const std::size_t submittersLeft = mailbox.submittersLeft;
    lock.unlock();

    for (Submitted& submitted : arrived) {
      if (settings.follow && submitted.report.outcome == WakeOutcome::Sent) {
        const Clock::time_point deadline = Clock::now() + *settings.follow;
        following.push_back({std::move(submitted.report), submitted.started, deadline,
                             std::min(Clock::now() + kFirstLook, deadline), kFirstLook, {}});
      } else {
        report(submitted.report, submitted.started);
      }
    }

    const Clock::time_point now = Clock::now();
    std::erase_if(following, [&](Followed& job) {
      if (job.nextLook > now || !LookAgain(job, watcher, settings)) return false;
      report(job.report, job.started);
      return true;
    });

    lock.lock();
    if (submittersLeft == 0 && following.empty() && mailbox.results.empty()) break;
    const auto news = [&] {
      return !mailbox.results.empty() || mailbox.submittersLeft != submittersLeft;
    };
    if (following.empty()) {
      mailbox.changed.wait(lock, news);
    } else {
      const auto soonest = std::min_element(
          following.begin(), following.end(),
          [](const Followed& a, const Followed& b) { return a.nextLook < b.nextLook; });
      mailbox.changed.wait_until(lock, soonest->nextLook, news);
    }
  }
  lock.unlock();
  for (std::thread& submitter : submitters) submitter.join();
}

}  // namespace brisakett
