// bench-spooler: runs a program against a private scheduler set up as
// brisakett-bench sets up its own (raw queues Bench-0001... written whole,
// the last the default, configured like an installed scheduler), its
// queues printing to a capture printer that keeps the jobs. For measuring
// one program by hand, with perf, ltrace, LD_DEBUG or a timing tool, on
// the bench's ground. Scheduler and printer stop when the program ends.
//
//   bench-spooler QUEUES PROGRAM [ARGUMENTS...]
//
// The program gets CUPS_SERVER; the exit status is the program's.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "capture_server.h"
#include "child_process.h"
#include "private_cupsd.h"
#include "scheduler_setup.h"

namespace {

void Say(const std::string& text) { std::fprintf(stderr, "bench-spooler: %s\n", text.c_str()); }

}  // namespace

int main(int argc, char** argv) {
  const int queues = argc >= 3 ? std::atoi(argv[1]) : 0;
  if (queues <= 0) {
    std::fputs("usage: bench-spooler QUEUES PROGRAM [ARGUMENTS...]\n", stderr);
    return 2;
  }
  std::vector<std::string> command(argv + 2, argv + argc);
  if (command[0].find('/') == std::string::npos) {
    command[0] = brisakett::testing::FindProgram(command[0]);
  }

  // Before any thread starts; the program and cupsd get them back.
  const sigset_t signals = brisakett::testing::BlockStopSignals();

  brisakett::tools::CaptureServer printer;
  std::string why;
  const auto cupsd = brisakett::testing::PrivateCupsd::Start(&why);
  if (!cupsd || !brisakett::bench::RestartWithQueues(*cupsd, queues, printer.Port(), &why)) {
    Say("cannot start the scheduler: " + why);
    return 1;
  }
  Say(std::to_string(queues) + " queues at " + cupsd->SocketPath() + ", the default " +
      brisakett::bench::BenchQueueName(queues));

  const pid_t program = brisakett::testing::StartProgram(command, "");
  if (program < 0) {
    Say("cannot start " + std::string(argv[2]));
    return 1;
  }
  const int status = brisakett::testing::WaitPassingStops(program, signals);
  Say(std::to_string(printer.Jobs().size()) + " jobs had reached the printer");
  return status;
}
