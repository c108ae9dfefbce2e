#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "deadline.h"
#include "server_answer.h"

namespace brisakett {

// What the spooler says about one job at one moment.
struct JobLook {
  enum class State {
    Waiting,    // queued, held, or still going to the printer
    Completed,  // the printer has taken it
    Aborted,    // the spooler gave up on it, or the printer refused it
    Canceled,   // someone or something removed it
    Vanished,   // the spooler no longer knows it and never said how it ended
  };
  State state = State::Waiting;
  // The spooler's own words: why the job waits (queue stopped, job held,
  // printer not reachable...) or why it ended without printing.
  std::string reason;
};

struct WatchedJob {
  std::string deviceName;
  int jobId = 0;
};

// One run's following of the jobs it submitted, used from the thread that
// made it.
class JobFollower {
public:
  virtual ~JobFollower() = default;

  // One look at each job, in the order given, all within `deadline`: each
  // the job's state, or why the spooler did not tell it.
  virtual std::vector<SpoolerAnswer<JobLook>> Look(const std::vector<WatchedJob>& jobs,
                                                   Deadline& deadline) = 0;
  // Removes the jobs from their queues, all within `deadline`; the
  // spooler's verdict on each, in the order given.
  virtual std::vector<ServerAnswer> Cancel(const std::vector<WatchedJob>& jobs, Deadline& deadline) = 0;
};

// Follows jobs that the spooler has accepted.
class JobWatcher {
public:
  virtual ~JobWatcher() = default;

  // Starts following before the first job is submitted, so that nothing
  // the spooler says about the jobs afterwards is missed; `forAtMost` is
  // how long the run may follow them.
  virtual std::unique_ptr<JobFollower> Follow(std::chrono::milliseconds forAtMost,
                                              Deadline& deadline) const = 0;
};

}  // namespace brisakett
