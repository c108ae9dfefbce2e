#pragma once

#include "job_watcher.h"

namespace brisakett {

// Reads a job's state, and its printer's when the job waits, from the
// scheduler that CupsConnection reaches, over a connection of its own for
// each call, so that it can be used from any thread.
class CupsJobWatcher final : public JobWatcher {
public:
  JobLook Look(const std::string& deviceName, int jobId) const override;
  bool Cancel(const std::string& deviceName, int jobId, std::string& why) const override;
};

}  // namespace brisakett
