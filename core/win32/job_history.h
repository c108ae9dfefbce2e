#pragma once

#include <map>
#include <string>

#include <windows.h>
#include <winspool.h>

#include "job_watcher.h"

namespace brisakett {

// What one look at a job read from the spooler.
struct JobReading {
  bool known = false;               // GetJobW still found the job
  unsigned long status = 0;         // its JOB_INFO_2W Status
  std::string statusText;           // its JOB_INFO_2W pStatus, often empty
  unsigned long printerStatus = 0;  // its printer's PRINTER_INFO_2W Status
};

// One job as the spooler told it, look after look. The spooler drops a
// job from the queue once the printer has it (unless the printer keeps
// printed documents) and equally when someone deletes it, also while it
// prints; only a status saying the printer has the whole job (printed, or
// complete) tells the two apart.
class JobHistory {
public:
  // The job's state from this look and what the spooler said before.
  JobLook Take(const JobReading& reading);
  // A status the spooler announced for the job between looks (its change
  // notifications): often the last one it gives, which a look rarely sees.
  void Hear(unsigned long status);

private:
  bool printed_ = false;
};

// Hands each job status in a change notification of this computer's
// print server (JOB_NOTIFY_FIELD_STATUS) to that job's history, by job id,
// even for a job not looked at yet. True when the spooler discarded
// notifications (PRINTER_NOTIFY_INFO_DISCARDED): then only asking again
// for every job's status (PRINTER_NOTIFY_OPTIONS_REFRESH) tells what was
// missed.
bool HearJobStatuses(const PRINTER_NOTIFY_INFO& info, std::map<int, JobHistory>& histories);

}  // namespace brisakett
