#include "ready_watch.h"

#include <algorithm>
#include <map>

namespace brisakett {
namespace {

// A warming printer is asked again this long after each answer: the
// floor of "ready" is its warm-up plus this.
constexpr std::chrono::milliseconds kAskAgain{1000};

std::string NoStatus(const std::string& why) {
  return why.empty() ? kNoDeviceStatus : std::string(kNoDeviceStatus) + " (" + why + ")";
}

}  // namespace

void ReadyWatch::Add(PrinterWakeReport delivered, Clock::time_point started) {
  printers_.push_back({std::move(delivered), started, false, {}, false, false, Clock::now()});
}

ReadyWatch::Clock::time_point ReadyWatch::NextAsk() const {
  Clock::time_point next = Clock::time_point::max();
  for (const Printer& printer : printers_) next = std::min(next, printer.nextAsk);
  return next;
}

void ReadyWatch::Finish(Printer& printer, WakeOutcome outcome, const Finished& finished) {
  printer.report.outcome = outcome;
  finished(printer.report);
  printer.located = false;
  printer.reported = true;
}

void ReadyWatch::Ask(Deadline& deadline, const Finished& finished) {
  std::vector<std::size_t> unlocated;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < printers_.size(); ++i) {
    if (printers_[i].located || printers_[i].reported) continue;
    unlocated.push_back(i);
    names.push_back(printers_[i].report.name);
  }
  if (!names.empty()) {
    const std::vector<SpoolerAnswer<DeviceAddress>> addresses = locator_.Locate(names, deadline);
    for (std::size_t k = 0; k < unlocated.size(); ++k) {
      Printer& printer = printers_[unlocated[k]];
      const SpoolerAnswer<DeviceAddress>& address = addresses.at(k);
      if (!address.Answered() || address.value.host.empty()) {
        printer.report.reason = NoStatus(address.Answered() ? address.value.whyNot
                                                            : "its device is not known: " + address.reason);
        Finish(printer, WakeOutcome::Delivered, finished);
        continue;
      }
      printer.located = true;
      printer.host = address.value.host;
    }
  }

  // Every host due is asked once, however many queues print to it.
  const Clock::time_point now = Clock::now();
  std::map<std::string, std::vector<std::size_t>> due;
  for (std::size_t i = 0; i < printers_.size(); ++i) {
    if (printers_[i].located && printers_[i].nextAsk <= now) due[printers_[i].host].push_back(i);
  }
  if (!due.empty()) {
    std::vector<std::string> hosts;
    for (const auto& [host, queues] : due) hosts.push_back(host);
    const std::vector<SpoolerAnswer<DeviceStatus>> answers = source_.Ask(hosts, community_, deadline);
    std::size_t k = 0;
    for (const auto& [host, queues] : due) {
      const SpoolerAnswer<DeviceStatus>& answer = answers.at(k++);
      for (std::size_t i : queues) {
        Printer& printer = printers_[i];
        printer.nextAsk = Clock::now() + kAskAgain;
        if (!answer.Answered()) {
          // One lost answer of a device that has told before is not
          // silence; a device that never answered does not tell.
          if (printer.answered) continue;
          printer.report.reason = NoStatus(answer.reason);
          Finish(printer, WakeOutcome::Delivered, finished);
          continue;
        }
        const DeviceStatus& status = answer.value;
        printer.answered = true;
        printer.report.deviceStatus = status.said;
        printer.report.reason = status.condition;
        switch (status.readiness) {
          case DeviceReadiness::Ready:
            printer.report.readySeconds =
                std::chrono::duration<double>(status.at - printer.started).count();
            Finish(printer, WakeOutcome::Ready, finished);
            break;
          case DeviceReadiness::NeedsAttention:
            Finish(printer, WakeOutcome::NeedsAttention, finished);
            break;
          case DeviceReadiness::NotKnown:
            printer.report.reason = NoStatus(status.condition);
            Finish(printer, WakeOutcome::Delivered, finished);
            break;
          case DeviceReadiness::WarmingUp:
            break;
        }
      }
    }
  }
  std::erase_if(printers_, [](const Printer& printer) { return printer.reported; });
}

void ReadyWatch::GiveUp(const Finished& finished) {
  for (Printer& printer : printers_) {
    if (printer.answered) {
      printer.report.reason = "still " + printer.report.reason + " when the time ran out";
      Finish(printer, WakeOutcome::WarmingUp, finished);
    } else {
      printer.report.reason = NoStatus("the time ran out before it answered");
      Finish(printer, WakeOutcome::Delivered, finished);
    }
  }
  printers_.clear();
}

}  // namespace brisakett
