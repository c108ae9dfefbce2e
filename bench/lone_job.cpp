// The job alone as a whole process: libcups and the C++ runtime loaded,
// the user name looked up, one connection, Create-Job and Send-Document.
// No options to read and no name check; the least a program that sends
// the warm-up job through the spooler can cost.
//
//   lone-job-probe QUEUE
#include "deadline.h"
#include "system_printing.h"
#include "warmup_job.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const brisakett::SpoolerLogin login;
  const auto spooler = brisakett::MakeSystemSpooler(login);
  brisakett::Deadline deadline(brisakett::kServerPatience);
  const brisakett::JobResult job = brisakett::SubmitWarmUpJob(*spooler, argv[1], deadline);
  return job.status == brisakett::JobResult::Status::Accepted ? 0 : 1;
}
