#include "fake_printing.h"

#include <algorithm>
#include <stdexcept>

namespace brisakett::testing {
namespace {

class FakePrinter final : public SpoolerPrinter {
public:
  explicit FakePrinter(FakeSpooler& spooler) : spooler_(spooler) {}
  ~FakePrinter() override {
    const std::lock_guard lock(spooler_.mutex);
    spooler_.calls.push_back("Close");
  }

  bool StartDoc(const std::string& name) override {
    if (!Call("StartDoc", name)) return false;
    const std::lock_guard lock(spooler_.mutex);
    jobId_ = ++spooler_.lastJobId;
    return true;
  }
  bool StartPage() override { return Call("StartPage"); }
  bool Write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (!Call("Write", std::to_string(data.size()))) return false;
    const std::lock_guard lock(spooler_.mutex);
    written = spooler_.shortWrite.value_or(data.size());
    spooler_.writes.emplace_back(data.substr(0, written));
    return true;
  }
  bool EndPage() override { return Call("EndPage"); }
  bool EndDoc() override { return Call("EndDoc"); }
  void Abort() override {
    const std::lock_guard lock(spooler_.mutex);
    spooler_.calls.push_back("Abort");
  }
  SpoolerFailure LastFailure() const override {
    SpoolerFailure failure = spooler_.failure;
    failure.reason = lastError_;
    return failure;
  }
  int JobId() const override { return jobId_; }

private:
  bool Call(const std::string& what, const std::string& argument = {}) {
    const std::lock_guard lock(spooler_.mutex);
    spooler_.calls.push_back(argument.empty() ? what : what + " " + argument);
    if (spooler_.failAt != what) return true;
    lastError_ = what + " refused by the spooler";
    return false;
  }

  FakeSpooler& spooler_;
  std::string lastError_;
  int jobId_ = 0;
};

class FakeFollower final : public JobFollower {
public:
  explicit FakeFollower(const FakeWatcher& watcher) : watcher_(watcher) {}

  std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                           Deadline&) override {
    std::vector<SpoolerAnswer<JobLook>> answers;
    for (const WatchedJob& job : jobs) {
      watcher_.calls.push_back("Look " + job.deviceName + " " + std::to_string(job.jobId));
      const auto look = watcher_.looks.find(job.deviceName);
      answers.push_back(look == watcher_.looks.end() ? SpoolerAnswer<JobLook>() : look->second);
    }
    return answers;
  }
  std::vector<ServerAnswer> Cancel(const std::vector<WatchedJob>& jobs, Deadline&) override {
    std::vector<ServerAnswer> verdicts;
    for (const WatchedJob& job : jobs) {
      watcher_.calls.push_back("Cancel " + job.deviceName + " " + std::to_string(job.jobId));
      const auto verdict = watcher_.cancels.find(job.deviceName);
      verdicts.push_back(verdict == watcher_.cancels.end() ? ServerAnswer() : verdict->second);
    }
    return verdicts;
  }

private:
  const FakeWatcher& watcher_;
};

}  // namespace

std::unique_ptr<SpoolerPrinter> FakeSpooler::Open(const std::string& deviceName, Deadline&,
                                                  SpoolerFailure& failure) {
  if (throwsOnOpen) throw std::runtime_error("out of handles");
  const std::lock_guard lock(mutex);
  calls.push_back("Open " + deviceName);
  if (std::find(openable.begin(), openable.end(), deviceName) == openable.end()) {
    failure = SpoolerFailure(ServerAnswer{ServerVerdict::Refused, "unknown printer"}, true);
    return nullptr;
  }
  return std::make_unique<FakePrinter>(*this);
}

std::unique_ptr<JobFollower> FakeWatcher::Follow(std::chrono::milliseconds, Deadline&) const {
  calls.push_back("Follow");
  return std::make_unique<FakeFollower>(*this);
}

}  // namespace brisakett::testing
