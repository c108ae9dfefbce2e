#pragma once

#include <string>

#include "current_printer.h"
#include "deadline.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

struct JobResult {
  bool accepted = false;
  SpoolerFailure failure;  // why, when not accepted
  int jobId = 0;           // the spooler's number for an accepted job
};

// Submits the warm-up stream to one printer as a one-page job. Accepted
// only when the spooler confirmed the whole job; a job that fails after
// its creation is cancelled so nothing half-sent stays queued.
JobResult SubmitWarmUpJob(Spooler& spooler, const std::string& deviceName, Deadline& deadline);

struct WarmUpOutcome {
  enum class Status { Sent, NotRecognized, Failed, Unreachable };
  Status status;
  std::string message;  // what the user is told
  int jobId = 0;        // the spooler's number for the job when Sent
};

// One press of "OK": makes the chosen printer current, submits the job,
// and then makes the printer that was current before current again, unless
// the spooler says it is no longer installed; that look-up decides nothing
// about the job. When the spooler does not know the chosen printer, it
// stays current. The whole press waits for the server until `deadline` and
// no longer; a caller that asked the server something first passes the
// deadline it used, so that the two share one bound.
WarmUpOutcome RunWarmUp(const PrinterCatalog& printers, CurrentPrinter& current,
                        Spooler& spooler, const std::string& chosenName,
                        Deadline deadline = Deadline(kServerPatience));

}  // namespace brisakett
