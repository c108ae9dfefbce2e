#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "job_watcher.h"
#include "spooler.h"

namespace brisakett {

enum class WakeOutcome {
  Sent,             // the spooler accepted the job; it was not followed
  Delivered,        // followed until the printer took it
  StillWaiting,     // followed, and still queued or retrying when time ran out
  FailedAtPrinter,  // followed, and aborted or cancelled by the spooler
  NotRecognized,    // the spooler does not know the printer (any more)
  Refused,          // the spooler did not accept the whole job
  Unreachable,      // the print server could not be reached or did not answer
};

struct PrinterWakeReport {
  std::string name;
  WakeOutcome outcome = WakeOutcome::Sent;
  int jobId = 0;         // the spooler's job number once it accepted the job
  std::string reason;    // the spooler's words, for every outcome but Sent and Delivered
  double seconds = 0;    // from the start of this printer's job to this report
  bool cancelled = false;  // StillWaiting only: the job was removed at the time-out
};

struct WakeSettings {
  std::size_t parallel = 8;  // jobs submitted at the same time
  // How long to follow each accepted job; nothing means not at all.
  std::optional<std::chrono::milliseconds> follow;
  bool cancelOnTimeout = false;
};

// Wakes every printer in `deviceNames` through SubmitWarmUpJob, each job
// with its own deadline for the print server, up to
// `settings.parallel` at a time on threads of their own, so
// `spooler.Open` is called from several threads at once. With
// `settings.follow`, each accepted job is then watched from the calling
// thread until it ends or its time is up. `finished` is called on the
// calling thread once per printer, as each one's outcome is known.
void WakePrinters(const std::vector<std::string>& deviceNames, Spooler& spooler,
                  const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished);

}  // namespace brisakett
