#pragma once

#include <string>

namespace brisakett {

// What the spooler says about one job at one moment.
struct JobLook {
  enum class State {
    Waiting,    // queued, held, or still going to the printer
    Completed,  // the printer has taken it
    Aborted,    // the spooler gave up on it
    Canceled,   // someone or something removed it
  };
  State state = State::Waiting;
  // The spooler's own words: why the job waits (queue stopped, job held,
  // printer not reachable...) or why it ended without printing.
  std::string reason;
};

// Follows jobs that the spooler has accepted. The system's watchers ask the
// spooler afresh on each call and keep no state between calls.
class JobWatcher {
public:
  virtual ~JobWatcher() = default;

  virtual JobLook Look(const std::string& deviceName, int jobId) const = 0;
  // Removes the job from the queue. False, with the spooler's reason in
  // `why`, when it cannot.
  virtual bool Cancel(const std::string& deviceName, int jobId, std::string& why) const = 0;
};

}  // namespace brisakett
