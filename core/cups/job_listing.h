#pragma once

#include <map>
#include <string>
#include <vector>

#include "cups/cups_connection.h"
#include "job_watcher.h"

namespace brisakett {

// A job as the scheduler lists it.
struct ListedJob {
  int state = 0;            // ipp_jstate_t
  std::string reasons;      // job-state-reasons but "none", joined by ", "
  std::string printerMessage;  // job-printer-state-message
};

// A queue as the scheduler lists it, for why its jobs wait.
struct ListedQueue {
  int state = 0;  // ipp_pstate_t
  std::string reasons;
  std::string message;
  std::vector<std::string> members;  // a class's printers
};

// The requesting user's jobs the scheduler lists, by job id: those not yet
// ended (`completed` false), or those ended with an id from `firstJobId`
// on. One request each, or a few for a long list of ended jobs (cupsd
// gives at most 500 at a time). The scheduler's verdict when it did not
// list them.
SpoolerAnswer<std::map<int, ListedJob>> ListJobs(CupsConnection& scheduler, bool completed,
                                                 int firstJobId = 0);

// Every queue the scheduler has, by name, in one request.
SpoolerAnswer<std::map<std::string, ListedQueue>> ListQueues(CupsConnection& scheduler);

// How a job that has ended ended, from its state, reasons and the
// printer's last message.
JobLook Ended(int state, const std::string& reasons, const std::string& message);

// Why a job that has not ended has not printed yet, in the words of its
// own state and its queue's (`queues` for the members of a class).
JobLook WhyWaiting(const ListedJob& job, const std::string& queue,
                   const std::map<std::string, ListedQueue>& queues);

// Every keyword of the attribute but "none", joined by ", ".
std::string Keywords(ipp_attribute_t* attribute);

}  // namespace brisakett
