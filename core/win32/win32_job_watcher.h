#pragma once

#include <memory>

#include "job_watcher.h"
#include "win32/winspool_calls.h"

namespace brisakett {

// Follows jobs by reading each one's state with GetJobW, and its printer's
// with GetPrinterW, on each look, from the print server itself rather
// than the spooler's copy of a connection, remembering for the run whether
// the spooler said a job printed: the Windows spooler forgets a job once
// it has left the queue, and that word is all that tells a printed job
// from one deleted. A look seldom catches a job's last status; for this
// computer's printers the print server's change notifications tell it
// between looks, where the spooler gives them.
class Win32JobWatcher final : public JobWatcher {
public:
  explicit Win32JobWatcher(std::shared_ptr<WinspoolCalls> winspool = SystemWinspool());

  std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                      Deadline& deadline) const override;

private:
  std::shared_ptr<WinspoolCalls> winspool_;
};

}  // namespace brisakett
