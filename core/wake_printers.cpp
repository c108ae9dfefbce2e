#include "wake_printers.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include "messages.h"
#include "ready_watch.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// A warm-up job is tiny, so the first look comes soon; later looks space
// out, so that a long wait over many printers stays a light load on the
// scheduler.
constexpr std::chrono::milliseconds kFirstLook{250};
constexpr std::chrono::milliseconds kLongestGap{2000};
// How soon a stop (a signal) is noticed while nothing else happens.
constexpr std::chrono::milliseconds kStopCheck{100};

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
  Clock::time_point nextLook;
  std::chrono::milliseconds gap;
};

// Hands the submitters' results to the calling thread.
struct Mailbox {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<Submitted> results;
  std::size_t submittersLeft = 0;
};

PrinterWakeReport Submit(const PrinterCatalog& printers, Spooler& spooler, const std::string& name,
                         bool checkName, Deadline deadline) {
  PrinterWakeReport report;
  report.name = name;
  if (checkName) {
    const SpoolerAnswer<bool> installed = printers.IsInstalled(name, deadline);
    if (!installed.Answered() || !installed.value) {
      report.outcome = installed.Answered() ? WakeOutcome::NotRecognized : OutcomeOfFailure(installed);
      report.reason = installed.Answered() ? messages::kPrinterNotRecognized : installed.reason;
      return report;
    }
  }
  const JobResult job = SubmitWarmUpJob(spooler, name, deadline);
  if (job.accepted) {
    report.outcome = WakeOutcome::Sent;
    report.jobId = job.jobId;
  } else if (job.failure.unknownPrinter) {
    report.outcome = WakeOutcome::NotRecognized;
    report.reason = messages::kPrinterNotRecognized;
  } else {
    report.outcome = OutcomeOfFailure(job.failure);
    report.reason = job.failure.reason;
  }
  return report;
}

// A failure inside the program (memory, threads) ends this printer's
// wake-up, not the run; whether its job was queued is not known.
PrinterWakeReport SubmitCarefully(const PrinterCatalog& printers, Spooler& spooler,
                                  const std::string& name, const WakeSettings& settings) {
  try {
    return Submit(printers, spooler, name, settings.checkNames,
                  settings.shared.value_or(Deadline(kServerPatience)));
  } catch (const std::exception& failure) {
    return {name, WakeOutcome::Unknown, 0,
            std::string("the program failed while submitting the job: ") + failure.what()};
  }
}

// Takes one look's answer. True when the job's report is final.
bool TakeLook(Followed& job, const SpoolerAnswer<JobLook>& look) {
  if (!look.Answered()) {
    // What was seen before says more than a look that did not come.
    if (job.report.reason.empty()) job.report.reason = "the scheduler did not report the job: " + look.reason;
  } else {
    switch (look.value.state) {
      case JobLook::State::Completed:
        job.report.outcome = WakeOutcome::Delivered;
        job.report.reason.clear();
        return true;
      case JobLook::State::Aborted:
      case JobLook::State::Canceled:
        job.report.outcome = WakeOutcome::FailedAtPrinter;
        job.report.reason = look.value.reason;
        return true;
      case JobLook::State::Vanished:
        job.report.outcome = WakeOutcome::Unknown;
        job.report.reason = look.value.reason;
        return true;
      case JobLook::State::Waiting:
        job.report.reason = look.value.reason;
        break;
    }
  }
  job.nextLook = Clock::now() + job.gap;
  job.gap = std::min(job.gap * 2, kLongestGap);
  return false;
}

}  // namespace

void WakePrinters(const std::vector<std::string>& deviceNames, const PrinterCatalog& printers,
                  Spooler& spooler, const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished) {
  const Clock::time_point runEnd =
      settings.follow ? settings.started + *settings.follow : Clock::time_point::max();
  const auto stopped = [&] { return settings.stop && settings.stop->load(); };
  const auto over = [&] { return stopped() || Clock::now() >= runEnd; };
  const auto untilRunEnd = [&] {
    return std::min<Clock::duration>(kServerPatience, std::max(runEnd - Clock::now(), Clock::duration::zero()));
  };

  // Made before any job exists, so that nothing said about the jobs is missed.
  std::unique_ptr<JobFollower> follower;
  std::optional<ReadyWatch> readyWatch;
  if (settings.follow) {
    Deadline deadline(untilRunEnd());
    follower = watcher.Follow(*settings.follow, deadline);
    if (settings.locator && settings.deviceStatus) {
      readyWatch.emplace(*settings.locator, *settings.deviceStatus, settings.snmpCommunity);
    }
  }

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
        PrinterWakeReport report;
        if (over()) {
          report = {deviceNames[i], WakeOutcome::StillWaiting, 0,
                    stopped() ? "not submitted: stopped before its turn"
                              : "not submitted: the time ran out before its turn"};
        } else {
          report = SubmitCarefully(printers, spooler, deviceNames[i], settings);
        }
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

  // Once the time is up, the cancels of every job still waiting share one
  // bound.
  std::optional<Deadline> endgame;
  const auto giveUp = [&](Followed& job) {
    job.report.outcome = WakeOutcome::StillWaiting;
    if (job.report.reason.empty()) {
      job.report.reason = "the time ran out before the scheduler reported the job";
    }
    if (settings.cancelOnTimeout) {
      if (!endgame) endgame.emplace(kServerPatience);
      const ServerAnswer cancelled =
          follower->Cancel({job.report.name, job.report.jobId}, *endgame);
      job.report.cancelled = cancelled.Answered();
      if (!job.report.cancelled) {
        job.report.reason += "; the job could not be cancelled: " + cancelled.reason;
      }
    }
    report(job.report, job.started);
  };

  std::vector<Followed> following;
  std::unique_lock lock(mailbox.mutex);
  for (;;) {
    std::deque<Submitted> arrived;
    arrived.swap(mailbox.results);
    const std::size_t submittersLeft = mailbox.submittersLeft;
    lock.unlock();

    for (Submitted& submitted : arrived) {
      if (follower && submitted.report.outcome == WakeOutcome::Sent) {
        following.push_back({std::move(submitted.report), submitted.started,
                             Clock::now() + kFirstLook, kFirstLook});
      } else {
        report(submitted.report, submitted.started);
      }
    }

    if (over()) {
      for (Followed& job : following) giveUp(job);
      following.clear();
      if (readyWatch) readyWatch->GiveUp(finished);
    } else {
      const Clock::time_point now = Clock::now();
      std::vector<std::size_t> due;
      std::vector<WatchedJob> jobs;
      for (std::size_t i = 0; i < following.size(); ++i) {
        if (following[i].nextLook > now) continue;
        due.push_back(i);
        jobs.push_back({following[i].report.name, following[i].report.jobId});
      }
      if (!jobs.empty()) {
        Deadline deadline(untilRunEnd());
        const std::vector<SpoolerAnswer<JobLook>> looks = follower->Look(jobs, deadline);
        std::vector<bool> done(following.size(), false);
        for (std::size_t k = 0; k < due.size() && k < looks.size(); ++k) {
          Followed& job = following[due[k]];
          if (TakeLook(job, looks[k])) {
            if (readyWatch && job.report.outcome == WakeOutcome::Delivered) {
              job.report.seconds = SecondsSince(job.started);
              readyWatch->Add(std::move(job.report), job.started);
            } else {
              report(job.report, job.started);
            }
            done[due[k]] = true;
          }
        }
        std::size_t index = 0;
        std::erase_if(following, [&](const Followed&) { return done[index++]; });
      }
      if (readyWatch && !readyWatch->Empty() && readyWatch->NextAsk() <= Clock::now()) {
        Deadline deadline(untilRunEnd());
        readyWatch->Ask(deadline, finished);
      }
    }

    lock.lock();
    if (submittersLeft == 0 && following.empty() && mailbox.results.empty() &&
        (!readyWatch || readyWatch->Empty())) {
      break;
    }
    const auto news = [&] {
      return !mailbox.results.empty() || mailbox.submittersLeft != submittersLeft;
    };
    Clock::time_point wake = runEnd;
    for (const Followed& job : following) wake = std::min(wake, job.nextLook);
    if (readyWatch) wake = std::min(wake, readyWatch->NextAsk());
    if (settings.stop) wake = std::min(wake, Clock::now() + kStopCheck);
    if (wake == Clock::time_point::max()) {
      mailbox.changed.wait(lock, news);
    } else {
      mailbox.changed.wait_until(lock, wake, news);
    }
  }
  lock.unlock();
  for (std::thread& submitter : submitters) submitter.join();
}

}  // namespace brisakett
