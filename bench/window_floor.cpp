// The program's window as main() builds it, but with its printer list and
// spooler in memory: what the window itself costs, libcups and its
// libraries loaded as the program must load them. The list holds the
// bench's queue names, as many as asked (one by default), the last of them
// the default.
//
//   window-floor-probe [QUEUES [--ask]]
//
// Without --ask nothing is asked of the scheduler. With --ask the scheduler
// is asked the window's two questions the least way known (least_asking.h),
// on a thread started where the program starts its own, and the window is
// shown once the answers are in, as the program's is once its list is
// filled: the floor of a window that shows the scheduler's list. The
// answers must be the list in memory.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "bench_queue_name.h"
#include "brisakett_application.h"
#include "current_printer.h"
#include "fake_printing.h"
#include "form1.h"
#include "least_asking.h"
#include "libcups_loaded.h"
#include "msg_box.h"
#include "system_sys_info.h"

int main(int argc, char** argv) {
  brisakett::bench::KeepLibcupsLoaded();
  const bool ask = argc > 2 && std::strcmp(argv[2], "--ask") == 0;
  brisakett::bench::SchedulerAnswers answers;
  std::jthread asking;
  if (ask) asking = std::jthread([&answers] { answers = brisakett::bench::AskTheLeastWay(); });
  brisakett::MsgBox msgBox;
  brisakett::BrisakettApplication app(argc, argv, msgBox);

  const int queues = std::max(argc > 1 ? std::atoi(argv[1]) : 1, 1);
  brisakett::testing::FakeCatalog printers;
  for (int number = 1; number <= queues; ++number) {
    printers.names.push_back(brisakett::bench::BenchQueueName(number));
  }
  printers.defaultName = printers.names.back();
  brisakett::testing::FakeSpooler spooler;
  const auto registry = brisakett::MakeSystemRegistry();
  const auto processes = brisakett::MakeSystemProcessStarter();
  brisakett::CurrentPrinter printer = brisakett::CurrentPrinter::FromDefault(printers);

  brisakett::Form1 form({printers, spooler, printer, *registry, *processes, msgBox, nullptr});
  if (asking.joinable()) asking.join();
  form.show();
  const int status = app.exec();
  if (ask && (answers.names != printers.names || answers.defaultName != printers.defaultName)) {
    std::fprintf(stderr, "window-floor-probe: the scheduler did not answer the list in memory\n");
    return EXIT_FAILURE;
  }
  return status;
}
