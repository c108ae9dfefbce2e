#pragma once

#include <string>
#include <thread>
#include <vector>

#include "printer_catalog.h"
#include "run_bound.h"
#include "run_inbox.h"
#include "spooler.h"
#include "wake_settings.h"

namespace brisakett {

// The first stage of a wake-up run: each printer's name checked (with
// `settings.checkNames`) and its job submitted as a press of "OK" would,
// each within a deadline of its own, up to `settings.parallel` at a time
// on threads of their own, so `printers` and `spooler` are called from
// several threads at once. Each result goes to the inbox; once the run is
// over, the printers whose turn has not come are posted "not submitted".
class JobSubmission {
public:
  JobSubmission(const std::vector<std::string>& deviceNames, const PrinterCatalog& printers,
                Spooler& spooler, const WakeSettings& settings, const RunBound& bound,
                RunInbox& inbox);
  // Waits for the submitting threads.
  ~JobSubmission();

  JobSubmission(const JobSubmission&) = delete;
  JobSubmission& operator=(const JobSubmission&) = delete;

  // How many threads submit: the inbox counts them down.
  static std::size_t Threads(const std::vector<std::string>& deviceNames, const WakeSettings& settings);

private:
  std::vector<std::thread> submitters_;
};

}  // namespace brisakett
