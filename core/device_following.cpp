#include "device_following.h"

#include <algorithm>

namespace brisakett {
namespace {

// A device is asked again this long after each answer, and two readings
// that agree must be this far apart, the first this long after delivery.
constexpr std::chrono::milliseconds kReadingGap{1000};

std::string NoStatus(const std::string& why) {
  return why.empty() ? kNoDeviceStatus : std::string(kNoDeviceStatus) + " (" + why + ")";
}

double SecondsBetween(DeviceFollowing::Clock::time_point from, DeviceFollowing::Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

}  // namespace

void DeviceFollowing::Add(Underway delivered) {
  Printer& printer = printers_.emplace_back();
  printer.run = std::move(delivered);
  printer.delivered = Clock::now();
}

DeviceFollowing::Clock::time_point DeviceFollowing::NextStep() const {
  Clock::time_point next = Clock::time_point::max();
  for (const Printer& printer : printers_) {
    if (!printer.host || printer.hearSpooler) return Clock::time_point::min();  // at once
  }
  for (const auto& [name, host] : hosts_) {
    if (!host.asking && host.printers > 0) next = std::min(next, host.nextAsk);
  }
  return next;
}

void DeviceFollowing::Finish(Printer& printer, WakeOutcome outcome, std::string reason,
                             std::vector<Underway>& ended) {
  printer.finished = true;
  printer.run.report.outcome = outcome;
  printer.run.report.reason = std::move(reason);
  if (printer.last) printer.run.report.deviceStatus = printer.last->said;
  if (printer.host) --hosts_[*printer.host].printers;
  ended.push_back(std::move(printer.run));
}

void DeviceFollowing::Locate(Deadline& deadline, std::vector<Underway>& ended) {
  std::vector<Printer*> unlocated;
  std::vector<std::string> names;
  for (Printer& printer : printers_) {
    if (printer.host || printer.hearSpooler || printer.finished) continue;
    unlocated.push_back(&printer);
    names.push_back(printer.run.report.name);
  }
  if (names.empty()) return;
  const std::vector<SpoolerAnswer<DeviceAddress>> addresses = locator_.Locate(names, deadline);
  for (std::size_t k = 0; k < unlocated.size(); ++k) {
    Printer& printer = *unlocated[k];
    const SpoolerAnswer<DeviceAddress>& address = addresses.at(k);
    printer.spoolerHears = address.Answered() && address.value.spoolerHears;
    if (address.Answered() && !address.value.host.empty()) {
      printer.host = address.value.host;
      ++hosts_[*printer.host].printers;
    } else if (printer.spoolerHears) {
      printer.hearSpooler = address.value.whyNot;
    } else {
      Finish(printer, WakeOutcome::Delivered,
             NoStatus(address.Answered() ? address.value.whyNot : "its device is not known: " + address.reason),
             ended);
    }
  }
}

void DeviceFollowing::HearSpooler(Deadline& deadline, std::vector<Underway>& ended) {
  std::vector<Printer*> hearing;
  std::vector<WatchedJob> jobs;
  for (Printer& printer : printers_) {
    if (!printer.hearSpooler || printer.finished) continue;
    hearing.push_back(&printer);
    jobs.push_back({printer.run.report.name, printer.run.report.jobId});
  }
  if (jobs.empty()) return;
  const std::vector<SpoolerAnswer<std::vector<std::string>>> heard = locator_.HeardAfter(jobs, deadline);
  for (std::size_t k = 0; k < hearing.size(); ++k) {
    Printer& printer = *hearing[k];
    const std::string errors = heard.at(k).Answered() ? SpoolerErrors(heard[k].value) : std::string();
    if (errors.empty()) {
      Finish(printer, WakeOutcome::Delivered, NoStatus(*printer.hearSpooler), ended);
      continue;
    }
    DeviceStatus word;
    for (const std::string& reason : heard[k].value) AppendWords(word.said, reason);
    printer.last = word;
    Finish(printer, WakeOutcome::NeedsAttention, errors + " (as the spooler last heard from it)", ended);
  }
}

std::vector<Underway> DeviceFollowing::Step(Deadline& deadline) {
  std::vector<Underway> ended;
  Locate(deadline, ended);
  HearSpooler(deadline, ended);
  // Every host due is asked once, however many queues print to it.
  const Clock::time_point now = Clock::now();
  for (auto& [name, host] : hosts_) {
    if (host.asking || host.printers == 0 || host.nextAsk > now) continue;
    host.asking = true;
    questions_->Ask(name, [&inbox = inbox_, name = name](SpoolerAnswer<DeviceStatus> answer) {
      inbox.Answered({name, std::move(answer)});
    });
  }
  Sweep();
  return ended;
}

void DeviceFollowing::Read(Printer& printer, const SpoolerAnswer<DeviceStatus>& answer,
                           std::vector<Underway>& ended) {
  if (!answer.Answered()) {
    // A device that has told before keeps its last reading; one that never
    // did does not tell, and the spooler may tell in its place.
    if (printer.last) return;
    if (printer.spoolerHears) {
      printer.hearSpooler = answer.reason;
    } else {
      Finish(printer, WakeOutcome::Delivered, NoStatus(answer.reason), ended);
    }
    return;
  }
  const DeviceStatus& reading = answer.value;
  printer.last = reading;
  if (reading.at < printer.delivered + kReadingGap) return;  // too soon to count
  if (!printer.firstAgreeing || printer.firstAgreeing->readiness != reading.readiness) {
    printer.firstAgreeing = reading;
    return;
  }
  if (reading.at - printer.firstAgreeing->at < kReadingGap) return;
  if (reading.readiness == DeviceReadiness::Ready) {
    printer.run.report.readySeconds = SecondsBetween(printer.run.started, printer.firstAgreeing->at);
    Finish(printer, WakeOutcome::Ready, reading.warnings, ended);
  } else if (reading.readiness == DeviceReadiness::NeedsAttention) {
    Finish(printer, WakeOutcome::NeedsAttention, reading.condition, ended);
  } else if (reading.tellsNothing && printer.firstAgreeing->tellsNothing) {
    Finish(printer, WakeOutcome::Delivered, NoStatus(reading.condition), ended);
  }
}

std::vector<Underway> DeviceFollowing::Take(const RunInbox::DeviceAnswer& answer) {
  std::vector<Underway> ended;
  Host& host = hosts_[answer.host];
  host.asking = false;
  host.nextAsk = Clock::now() + kReadingGap;
  for (Printer& printer : printers_) {
    if (!printer.finished && printer.host == answer.host) Read(printer, answer.answer, ended);
  }
  Sweep();
  return ended;
}

std::vector<Underway> DeviceFollowing::GiveUp(const std::string& why) {
  std::vector<Underway> ended;
  for (Printer& printer : printers_) {
    if (printer.finished) continue;
    if (!printer.last) {
      Finish(printer, WakeOutcome::Delivered,
             NoStatus(printer.hearSpooler.value_or(why + " before it answered")), ended);
      continue;
    }
    const DeviceStatus last = *printer.last;
    switch (last.readiness) {
      case DeviceReadiness::Ready: {
        const DeviceStatus& first = printer.firstAgreeing && printer.firstAgreeing->readiness ==
                                                                  DeviceReadiness::Ready
                                        ? *printer.firstAgreeing
                                        : last;
        printer.run.report.readySeconds = SecondsBetween(printer.run.started, first.at);
        Finish(printer, WakeOutcome::Ready, last.warnings, ended);
        break;
      }
      case DeviceReadiness::WarmingUp:
        Finish(printer, WakeOutcome::WarmingUp,
               "still " + last.condition + " when " + why +
                   (last.warnings.empty() ? "" : " (" + last.warnings + ")"),
               ended);
        break;
      case DeviceReadiness::NeedsAttention:
        Finish(printer, WakeOutcome::NeedsAttention, last.condition, ended);
        break;
      case DeviceReadiness::NotKnown:
        Finish(printer, WakeOutcome::Delivered, NoStatus(last.condition), ended);
        break;
    }
  }
  Sweep();
  return ended;
}

void DeviceFollowing::Sweep() {
  std::erase_if(printers_, [](const Printer& printer) { return printer.finished; });
}

}  // namespace brisakett
