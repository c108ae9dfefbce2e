#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device_status_source.h"
#include "job_watcher.h"
#include "printer_catalog.h"
#include "spooler.h"
#include "wake_outcome.h"

namespace brisakett {

struct PrinterWakeReport {
  std::string name;
  WakeOutcome outcome = WakeOutcome::Sent;
  int jobId = 0;         // the spooler's job number once it accepted the job
  std::string reason;    // the spooler's words, for every outcome but Sent and Delivered
  double seconds = 0;    // from the start of this printer's job to this report
  bool cancelled = false;  // StillWaiting only: the job was removed at the time-out
  // Ready only: from the start of the job to the device's "ready".
  std::optional<double> readySeconds{};
  // What the device said of itself, in words, when it was asked and answered.
  std::string deviceStatus{};
};

struct WakeSettings {
  std::size_t parallel = 8;  // jobs submitted at the same time
  // Whether each name is checked against the printer list before its job,
  // as a press of "OK" checks it; names just read from the list need not be.
  bool checkNames = true;
  // How long to follow the accepted jobs, counted from `started`; nothing
  // means not at all.
  std::optional<std::chrono::milliseconds> follow;
  bool cancelOnTimeout = false;
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  // The deadline of the questions asked before the run (the default
  // printer), for a run of one printer: its name check and job then share
  // it, so that the whole answer keeps one bound. Otherwise each printer's
  // check and job have a deadline of their own.
  std::optional<Deadline> shared;
  // Set (from a signal handler, say) to end the run as if its time had run
  // out: nothing more is submitted, and every printer still gets its report.
  const std::atomic<bool>* stop = nullptr;
  // With `follow`: once the printer has its job, ask the device itself
  // until it reports ready or the time is up (core/ready_watch.h).
  const DeviceLocator* locator = nullptr;
  const DeviceStatusSource* deviceStatus = nullptr;
  std::string snmpCommunity = "public";
};

// Wakes every printer in `deviceNames`, each as a press of "OK" would: the
// name checked (with `settings.checkNames`) and the job submitted within a
// deadline of its own, up to `settings.parallel` at a time on threads of
// their own, so `printers` and `spooler` are called from several threads
// at once. With `settings.follow`, the accepted jobs are followed together
// from the calling thread until each ends or the time is up; the whole run
// then ends within that time and the bound of one answer. `finished` is
// called on the calling thread once per printer, as each one's outcome is
// known.
void WakePrinters(const std::vector<std::string>& deviceNames, const PrinterCatalog& printers,
                  Spooler& spooler, const JobWatcher& watcher, const WakeSettings& settings,
                  const std::function<void(const PrinterWakeReport&)>& finished);

}  // namespace brisakett
