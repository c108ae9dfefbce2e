// The job alone as a whole process: libcups and the C++ runtime loaded,
// the user name looked up, one connection, Create-Job and Send-Document.
// No options to read; the least a program that sends the warm-up job
// through the spooler can cost. With --check-name the name is first
// checked as it must be, exactly, with the one request about it: the least
// a program can cost that wakes only a printer the list shows.
//
//   lone-job-probe [--check-name] QUEUE
#include <cstring>

#include "deadline.h"
#include "system_printing.h"
#include "warmup_job.h"

int main(int argc, char** argv) {
  const bool checkName = argc == 3 && std::strcmp(argv[1], "--check-name") == 0;
  if (argc != (checkName ? 3 : 2)) return 2;
  const char* queue = argv[argc - 1];
  const brisakett::SpoolerLogin login;
  brisakett::Deadline deadline(brisakett::kServerPatience);
  if (checkName) {
    const auto printers = brisakett::MakeSystemPrinterCatalog(login);
    if (!printers->IsInstalled(queue, deadline).value) return 3;
  }
  const auto spooler = brisakett::MakeSystemSpooler(login);
  const brisakett::JobResult job = brisakett::SubmitWarmUpJob(*spooler, queue, deadline);
  return job.accepted ? 0 : 1;
}
