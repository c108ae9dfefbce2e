#pragma once

// A printer list and a spooler that run in memory, for the cases the real
// scheduler cannot produce on demand: a call that fails at a chosen step,
// a short write, a printer that vanishes between listing and opening.

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "job_watcher.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett::testing {

class FakeCatalog final : public PrinterCatalog {
public:
  std::vector<std::string> names;
  std::optional<std::string> defaultName;
  ServerAnswer failure;  // when not Confirmed, every question ends so

  SpoolerAnswer<std::vector<std::string>> DeviceNames(Deadline&) const override {
    if (!failure.Answered()) return failure;
    return names;
  }
  SpoolerAnswer<std::optional<std::string>> DefaultDeviceName(Deadline&) const override {
    if (!failure.Answered()) return failure;
    return defaultName;
  }
};

// Several submitting threads may use it at once; each call is recorded
// whole under `mutex`.
class FakeSpooler final : public Spooler {
public:
  std::mutex mutex;
  // Every call the spooler saw, in order: "Open NAME", "StartDoc NAME",
  // "StartPage", "Write N", "EndPage", "EndDoc", "Abort", "Close".
  std::vector<std::string> calls;
  std::vector<std::string> openable;  // names Open succeeds for
  std::string failAt;                 // the call that fails, e.g. "StartPage"
  SpoolerFailure failure;              // how it fails; the reason is the call's own
  std::optional<std::size_t> shortWrite;
  std::vector<std::string> writes;
  int lastJobId = 0;  // StartDoc numbers the jobs 1, 2, ...
  bool throwsOnOpen = false;  // Open fails inside the program, as std::bad_alloc would

  std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                       SpoolerFailure& failure) override;
};

// Answers every look at a printer's job with the same answer.
class FakeWatcher final : public JobWatcher {
public:
  std::map<std::string, SpoolerAnswer<JobLook>> looks;  // by printer; Waiting for the others
  std::map<std::string, ServerAnswer> cancels;            // by printer; confirmed for the others
  mutable std::vector<std::string> calls;  // "Follow", "Look NAME JOB", "Cancel NAME JOB"

  std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                      Deadline& deadline) const override;
};

}  // namespace brisakett::testing
