// demo-spooler: runs a program against a CUPS scheduler of its own with one
// printer, "Brisakett-Demo" (the default), whose device is a capture printer
// that shows each job it receives on this terminal. Scheduler and printer
// stop when the program ends.
//
//   demo-spooler PROGRAM [ARGUMENTS...]
//
// The exit status is the program's.

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "capture_server.h"
#include "child_process.h"
#include "job_dump.h"
#include "private_cupsd.h"

namespace {

constexpr const char* kQueue = "Brisakett-Demo";

void Say(const std::string& text) {
  std::fprintf(stderr, "demo-spooler: %s\n", text.c_str());
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: demo-spooler PROGRAM [ARGUMENTS...]\n", stderr);
    return 2;
  }
  std::vector<std::string> command(argv + 1, argv + argc);
  if (command[0].find('/') == std::string::npos) {
    command[0] = brisakett::testing::FindProgram(command[0]);
  }

  // Before any thread starts; the program and cupsd get them back.
  const sigset_t signals = brisakett::testing::BlockStopSignals();

  std::unique_ptr<brisakett::tools::CaptureServer> printer;
  try {
    printer = std::make_unique<brisakett::tools::CaptureServer>(
        0, [](std::size_t number, const std::string& bytes) {
          const std::string text =
              std::string(kQueue) + " printed " + brisakett::tools::DescribeJob(number, bytes);
          std::fwrite(text.data(), 1, text.size(), stdout);
          std::fflush(stdout);
        });
  } catch (const std::runtime_error& error) {
    Say(error.what());
    return 1;
  }

  std::string why;
  std::unique_ptr<brisakett::testing::PrivateCupsd> cupsd =
      brisakett::testing::PrivateCupsd::Start(&why);
  if (!cupsd || !cupsd->AddQueue(kQueue, printer->Port(), &why) ||
      !cupsd->SetDefault(kQueue, &why)) {
    Say("cannot start the demo CUPS scheduler: " + why);
    return 1;
  }
  Say("CUPS scheduler at " + cupsd->SocketPath() + " with the printer " + kQueue +
      ", a capture printer on 127.0.0.1:" + std::to_string(printer->Port()) +
      "; jobs it receives show here");

  const pid_t program = brisakett::testing::StartProgram(command, "");
  if (program < 0) {
    Say("cannot start " + std::string(argv[1]));
    return 1;
  }
  const int status = brisakett::testing::WaitPassingStops(program, signals);
  Say("stopping the demo scheduler");
  return status;
}
