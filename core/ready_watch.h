#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "deadline.h"
#include "device_status_source.h"
#include "wake_printers.h"

namespace brisakett {

// Follows printers that have their warm-up job until each device reports
// itself ready, or something that keeps it from printing, or the time
// runs out: the second half of `brisakett-send --wait`. Used from one
// thread.
class ReadyWatch {
public:
  using Clock = std::chrono::steady_clock;
  using Finished = std::function<void(PrinterWakeReport&)>;

  ReadyWatch(const DeviceLocator& locator, const DeviceStatusSource& source, std::string community)
      : locator_(locator), source_(source), community_(std::move(community)) {}

  // A printer whose job was delivered at the report's `seconds` after
  // `started`.
  void Add(PrinterWakeReport delivered, Clock::time_point started);
  bool Empty() const { return printers_.empty(); }
  // When Ask has something to do next.
  Clock::time_point NextAsk() const;
  // Finds the devices of the printers added since, asks those whose turn
  // it is, all within `deadline`, and reports each whose answer is final.
  void Ask(Deadline& deadline, const Finished& finished);
  // The time is up: reports every printer still followed.
  void GiveUp(const Finished& finished);

private:
  struct Printer {
    PrinterWakeReport report;
    Clock::time_point started;
    bool located = false;
    std::string host;
    bool answered = false;  // the device has told its status at least once
    bool reported = false;  // finished, and gone from the list at the next sweep
    Clock::time_point nextAsk;
  };
  void Finish(Printer& printer, WakeOutcome outcome, const Finished& finished);

  const DeviceLocator& locator_;
  const DeviceStatusSource& source_;
  std::string community_;
  std::vector<Printer> printers_;
};

// The reason of a printer that was asked and does not tell.
inline constexpr const char* kNoDeviceStatus = "the printer does not report its status";

}  // namespace brisakett
