#include "wake_printers.h"

#include <algorithm>
#include <memory>
#include <optional>

#include "device_following.h"
#include "job_following.h"
#include "job_submission.h"
#include "run_bound.h"
#include "run_inbox.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

// How soon a stop (a signal) is noticed while nothing else happens.
constexpr std::chrono::milliseconds kStopCheck{100};

}  // namespace

void WakePrinters(const std::vector<std::string>& deviceNames, const PrinterCatalog& printers,
                  Spooler& spooler, const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished) {
  RunBound bound;
  bound.stop = settings.stop;
  if (settings.follow) bound.end = settings.started + *settings.follow;

  RunInbox inbox(JobSubmission::Threads(deviceNames, settings));
  // Made before any job exists, so that nothing said about the jobs is missed.
  std::unique_ptr<JobFollower> follower;
  std::optional<JobFollowing> jobs;
  std::optional<DeviceFollowing> devices;
  if (settings.follow) {
    Deadline deadline = bound.NextDeadline();
    follower = watcher.Follow(*settings.follow, deadline);
    jobs.emplace(*follower, settings.cancelOnTimeout, bound);
    if (settings.locator && settings.deviceStatus) {
      devices.emplace(*settings.locator, *settings.deviceStatus, settings.snmpCommunity, inbox);
    }
  }
  const auto report = [&finished](const std::vector<Underway>& ended) {
    for (const Underway& done : ended) finished(done.report);
  };
  // Delivered jobs go on to their devices; the rest are told.
  const auto deliver = [&](std::vector<Underway> ended) {
    for (Underway& done : ended) {
      if (devices && done.report.outcome == WakeOutcome::Delivered) {
        devices->Add(std::move(done));
      } else {
        finished(done.report);
      }
    }
  };

  const JobSubmission submission(deviceNames, printers, spooler, settings, bound, inbox);
  Clock::time_point wake = Clock::now();
  for (;;) {
    RunInbox::Contents arrived = inbox.Take(wake);
    for (Underway& submitted : arrived.submitted) {
      if (jobs && submitted.report.outcome == WakeOutcome::Sent) {
        jobs->Add(std::move(submitted));
      } else {
        finished(submitted.report);
      }
    }
    for (const RunInbox::DeviceAnswer& answer : arrived.deviceAnswers) {
      if (devices) report(devices->Take(answer));
    }

    if (bound.Over()) {
      if (jobs) report(jobs->GiveUp());
      if (devices) report(devices->GiveUp(bound.Why()));
    } else {
      const Clock::time_point now = Clock::now();
      if (jobs && jobs->NextLook() <= now) {
        Deadline deadline = bound.NextDeadline();
        deliver(jobs->Look(deadline));
      }
      if (devices && devices->NextStep() <= Clock::now()) {
        Deadline deadline = bound.NextDeadline();
        report(devices->Step(deadline));
      }
    }

    const bool following = (jobs && !jobs->Empty()) || (devices && !devices->Empty());
    if (arrived.submittersLeft == 0 && !following) break;
    // Once over, only the submitters' last results are awaited.
    wake = bound.Over() ? Clock::time_point::max() : bound.end;
    if (jobs) wake = std::min(wake, jobs->NextLook());
    if (devices) wake = std::min(wake, devices->NextStep());
    if (settings.stop) wake = std::min(wake, Clock::now() + kStopCheck);
  }
}

}  // namespace brisakett
