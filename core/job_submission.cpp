#include "job_submission.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>

#include "messages.h"
#include "print_server.h"
#include "warmup_job.h"

namespace brisakett {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

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

}  // namespace

std::size_t JobSubmission::Threads(const std::vector<std::string>& deviceNames,
                                   const WakeSettings& settings) {
  return std::min(std::max<std::size_t>(settings.parallel, 1), deviceNames.size());
}

JobSubmission::JobSubmission(const std::vector<std::string>& deviceNames,
                             const PrinterCatalog& printers, Spooler& spooler,
                             const WakeSettings& settings, const RunBound& bound, RunInbox& inbox) {
  auto next = std::make_shared<std::atomic<std::size_t>>(0);
  const auto submitter = [&, next] {
    for (std::size_t i = (*next)++; i < deviceNames.size(); i = (*next)++) {
      const Clock::time_point started = Clock::now();
      PrinterWakeReport report;
      if (bound.Over()) {
        report = {deviceNames[i], WakeOutcome::StillWaiting, 0,
                  bound.Stopped() ? "not submitted: stopped before its turn"
                                  : "not submitted: the time ran out before its turn"};
      } else {
        report = SubmitCarefully(printers, spooler, deviceNames[i], settings);
      }
      report.seconds = SecondsSince(started);
      report.server = settings.server.empty() ? PrintServerOf(deviceNames[i]) : settings.server;
      inbox.Submitted({std::move(report), started});
    }
    inbox.SubmitterDone();
  };
  // One printer needs no thread of its own: its job is the whole run's
  // work until it is submitted (and a thread's start is a measurable part
  // of one brisakett-send PRINTER).
  if (deviceNames.size() == 1) {
    submitter();
    return;
  }
  const std::size_t threads = Threads(deviceNames, settings);
  submitters_.reserve(threads);
  for (std::size_t t = 0; t < threads; ++t) submitters_.emplace_back(submitter);
}

JobSubmission::~JobSubmission() {
  for (std::thread& submitter : submitters_) submitter.join();
}

}  // namespace brisakett
