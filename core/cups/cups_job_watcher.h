#pragma once

#include "job_watcher.h"
#include "password_prompt.h"

namespace brisakett {

// Reads a job's state, and its printer's when the job waits, from the
// scheduler that CupsConnection reaches, over a connection of its own for
// each call, so that it can be used from any thread.
class CupsJobWatcher final : public JobWatcher {
public:
  explicit CupsJobWatcher(const SpoolerLogin& login) : login_(login) {}

  JobLook Look(const std::string& deviceName, int jobId) const override;
  bool Cancel(const std::string& deviceName, int jobId, std::string& why) const override;

private:
  const SpoolerLogin& login_;
};

}  // namespace brisakett
