#pragma once

#include <string>

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
// printed documents) and equally when someone deletes it; only what it
// said last before the job went tells the two apart.
class JobHistory {
public:
  // The job's state from this look and what earlier ones saw.
  JobLook Take(const JobReading& reading);

private:
  // The last status the spooler gave said the job printed or was printing.
  bool lastWordPrinting_ = false;
};

}  // namespace brisakett
