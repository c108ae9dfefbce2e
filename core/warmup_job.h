#pragma once

#include <string>

#include "current_printer.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

struct JobResult {
  enum class Status { Accepted, OpenFailed, Failed };
  Status status;
  std::string reason;  // the spooler's words when Failed
  int jobId = 0;       // the spooler's number for the job when Accepted
};

// Submits the warm-up stream to one printer as a one-page job. A job that
// fails after its creation is cancelled so nothing half-sent stays queued.
JobResult SubmitWarmUpJob(Spooler& spooler, const std::string& deviceName);

struct WarmUpOutcome {
  enum class Status { Sent, NotRecognized, Failed };
  Status status;
  std::string message;  // what the user is told
};

// One press of "OK": makes the chosen printer current, submits the job,
// and makes the printer that was current before current again. On an open
// failure the chosen printer stays current.
WarmUpOutcome RunWarmUp(const PrinterCatalog& printers, CurrentPrinter& current,
                        Spooler& spooler, const std::string& chosenName);

}  // namespace brisakett
