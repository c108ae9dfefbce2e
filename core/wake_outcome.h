#pragma once

#include <optional>
#include <string>

#include "server_answer.h"

namespace brisakett {

// What became of one printer's wake-up.
enum class WakeOutcome {
  Sent,             // the spooler accepted the job; it was not followed
  Delivered,        // followed until the printer took it (and its status, if it tells, was read)
  Ready,            // delivered, and the device then reported itself ready
  WarmingUp,        // delivered, and the device still warming up when time ran out
  NeedsAttention,   // delivered, and the device reports what keeps it from printing
  StillWaiting,     // followed, and still queued or retrying when time ran out
  Unknown,          // followed, and gone from the spooler without a word of how it ended
  FailedAtPrinter,  // followed, and aborted, cancelled or refused by the printer
  NotRecognized,    // the spooler does not know the printer (any more)
  Refused,          // the spooler did not accept the whole job (or wanted a password)
  Unreachable,      // the print server could not be reached or did not answer (stays last:
                    // the metrics count every outcome up to it)
};

// What became of one printer, with the spooler's and the device's words.
struct PrinterWakeReport {
  std::string name;
  WakeOutcome outcome = WakeOutcome::Sent;
  int jobId = 0;         // the spooler's job number once it accepted the job
  std::string reason;    // the spooler's or device's words, for every outcome but Sent and Delivered
  double seconds = 0;    // from the start of this printer's job to this report (to delivered, once delivered)
  bool cancelled = false;  // StillWaiting only: the job was removed at the time-out
  // Ready only: from the start of the job to the device's "ready".
  std::optional<double> readySeconds{};
  // What the device said of itself, in words, when it was asked and answered.
  std::string deviceStatus{};
  // The print server that holds the printer's queue (PrintServerOf).
  std::string server{};
};

// Exit statuses of brisakett-send, distinct so a script can tell them apart.
enum ExitStatus : int {
  kExitSucceeded = 0,
  kExitRefused = 1,          // the spooler refused the job, or a password it wanted
  kExitUsageError = 2,       // the command line is wrong
  kExitNotRecognized = 3,    // no installed printer has that name, or no default printer
  kExitUnreachable = 4,      // the print server cannot be reached or does not answer
  kExitStillWaiting = 5,     // --wait: the job was still queued when time ran out
  kExitFailedAtPrinter = 6,  // --wait: the spooler aborted or cancelled the job
  kExitNeedsAttention = 7,   // --wait: the printer reports a door open, a jam, no paper...
  kExitUnknown = 8,          // --wait: the job vanished without a word of how it ended
};

// The outcome of a wake-up that the server did not take: said no (or
// wanted a password) is a refusal, no word at all is unreachable.
WakeOutcome OutcomeOfFailure(const ServerAnswer& failure);
// The exit status for an answer that ends a run before any job (the list,
// the default printer).
int ExitStatusOfFailure(const ServerAnswer& failure);

int ExitStatusOf(WakeOutcome outcome);
// The worse of two exit statuses of the same run, from best to worst:
// 0, 5, 7, 8, 3, 6, 1, 4.
int WorseExitStatus(int a, int b);

// The word for an outcome in brisakett-send's report lines.
const char* OutcomeKeyword(WakeOutcome outcome);

}  // namespace brisakett
