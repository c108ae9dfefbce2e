#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

#include "deadline.h"
#include "device_status_source.h"

namespace brisakett {

// How one wake-up run goes.
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
  // until it reports ready or the time is up.
  const DeviceLocator* locator = nullptr;
  const DeviceStatusSource* deviceStatus = nullptr;
  std::string snmpCommunity = "public";
  // The print server as the run names it in its reports; empty: the one
  // that holds each printer's queue (PrintServerOf).
  std::string server;
};

}  // namespace brisakett
