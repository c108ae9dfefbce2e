#pragma once

#include <string>
#include <vector>

#include "job_watcher.h"
#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"
#include "text_output.h"

namespace brisakett {

// Exit statuses of brisakett-send, distinct so a script can tell them apart.
enum SendExitStatus : int {
  kSendSucceeded = 0,
  kSendFailed = 1,         // the spooler did not accept the whole job
  kSendUsageError = 2,     // the command line is wrong
  kSendNotRecognized = 3,  // no installed printer has that name, or no default printer
  kSendUnreachable = 4,    // the print server cannot be reached or does not answer
  kSendStillWaiting = 5,     // --wait: the job was still queued when time ran out
  kSendFailedAtPrinter = 6,  // --wait: the spooler aborted or cancelled the job
};

// The whole command, apart from main's own plumbing, so it runs in tests
// against any printer list, spooler, job watcher and outputs. `login` is
// the one the printer list and spooler were made with; -U sets its user.
int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err);

}  // namespace brisakett
