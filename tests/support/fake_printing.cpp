#include "fake_printing.h"

#include <algorithm>

namespace brisakett::testing {
namespace {

class FakePrinter final : public SpoolerPrinter {
public:
  explicit FakePrinter(FakeSpooler& spooler) : spooler_(spooler) {}
  ~FakePrinter() override { spooler_.calls.push_back("Close"); }

  bool StartDoc(const std::string& name) override {
    if (!Call("StartDoc", name)) return false;
    jobId_ = ++spooler_.lastJobId;
    return true;
  }
  bool StartPage() override { return Call("StartPage"); }
  bool Write(std::string_view data, std::size_t& written) override {
    written = 0;
    if (!Call("Write", std::to_string(data.size()))) return false;
    written = spooler_.shortWrite.value_or(data.size());
    spooler_.writes.emplace_back(data.substr(0, written));
    return true;
  }
  bool EndPage() override { return Call("EndPage"); }
  bool EndDoc() override { return Call("EndDoc"); }
  void Abort() override { spooler_.calls.push_back("Abort"); }
  Failure LastFailure() const override { return spooler_.failure; }
  std::string LastError() const override { return lastError_; }
  int JobId() const override { return jobId_; }

private:
  bool Call(const std::string& what, const std::string& argument = {}) {
    spooler_.calls.push_back(argument.empty() ? what : what + " " + argument);
    if (spooler_.failAt != what) return true;
    lastError_ = what + " refused by the spooler";
    return false;
  }

  FakeSpooler& spooler_;
  std::string lastError_;
  int jobId_ = 0;
};

}  // namespace

std::unique_ptr<SpoolerPrinter> FakeSpooler::Open(const std::string& deviceName, Deadline&,
                                                  std::string&) {
  calls.push_back("Open " + deviceName);
  if (std::find(openable.begin(), openable.end(), deviceName) == openable.end()) {
    return nullptr;
  }
  return std::make_unique<FakePrinter>(*this);
}

JobLook FakeWatcher::Look(const std::string& deviceName, int jobId) const {
  calls.push_back("Look " + deviceName + " " + std::to_string(jobId));
  const auto look = looks.find(deviceName);
  return look == looks.end() ? JobLook{} : look->second;
}

bool FakeWatcher::Cancel(const std::string& deviceName, int jobId, std::string&) const {
  calls.push_back("Cancel " + deviceName + " " + std::to_string(jobId));
  return true;
}

}  // namespace brisakett::testing
