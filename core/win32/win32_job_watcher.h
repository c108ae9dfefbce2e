#pragma once

#include "job_watcher.h"

namespace brisakett {

// Follows jobs by reading each one's state with GetJobW, and its printer's
// with GetPrinterW, on each look, remembering for the run what the spooler
// said of each job last: the Windows spooler forgets a job once it has
// left the queue, and that memory is all that tells a printed job from
// one deleted without a word. A look seldom catches a job's last status;
// for this computer's printers the print server's change notifications
// tell it between looks, where the spooler gives them.
class Win32JobWatcher final : public JobWatcher {
public:
  std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                      Deadline& deadline) const override;
};

}  // namespace brisakett
