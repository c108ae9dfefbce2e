#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>

#include "wake_outcome.h"

namespace brisakett {

// A run's results in Prometheus' text exposition format, as the node
// exporter's textfile collector reads it. Per printer, labelled with its
// name and print server: its outcome, the seconds to the spooler's
// confirmation and, when the jobs were followed, whether and when it
// reported itself ready. Per run: when it ended, how long it took, its exit
// status and how many printers had each outcome.
class MetricsFile {
public:
  // `followed`: the run followed its jobs (--wait), so each printer's
  // readiness is known.
  explicit MetricsFile(bool followed) : followed_(followed) {}

  void Add(const PrinterWakeReport& report);
  std::string Text(int exitStatus, std::chrono::system_clock::time_point ended,
                   std::chrono::steady_clock::duration took) const;

private:
  bool followed_;
  // By their labels (server, printer): one series each, in a steady order.
  std::map<std::pair<std::string, std::string>, PrinterWakeReport> printers_;
  std::map<WakeOutcome, int> counts_;
};

// Puts `text` at `path` so that a reader finds the old file or the new one
// whole, never a part: written to a new file beside it whose name does not
// end in ".prom", then renamed over it. False, with the system's reason in
// `problem`, when it cannot be done; nothing is left behind then.
bool ReplaceWholeFile(const std::string& path, const std::string& text, std::string& problem);

}  // namespace brisakett
