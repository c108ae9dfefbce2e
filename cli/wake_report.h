#pragma once

#include <map>

#include "text_output.h"
#include "wake_outcome.h"

namespace brisakett {

// Writes one line per printer as its outcome comes in, text or JSON, and
// keeps the exit status of the worst outcome so far.
//
// Text: NAME, OUTCOME, JOB ID, SECONDS and REASON, separated by tabs, "-"
// for a missing name (a print server's own line), job id or reason, and
// with `serverField` a sixth, SERVER; at the end a summary line. SECONDS
// is to ready for a printer that reported ready, else to the outcome.
// JSON: one object per line, {"name", "server", "outcome", "job_id",
// "reason", "seconds", "ready_seconds", "device_status", "cancelled"},
// and no summary.
class WakeReportWriter {
public:
  WakeReportWriter(TextOutput& out, bool json, bool serverField = false)
      : out_(out), json_(json), serverField_(serverField) {}

  void Add(const PrinterWakeReport& report);
  void Finish();
  int ExitStatus() const { return exitStatus_; }

private:
  TextOutput& out_;
  bool json_;
  bool serverField_;
  int exitStatus_ = 0;
  std::map<WakeOutcome, int> counts_;
};

}  // namespace brisakett
