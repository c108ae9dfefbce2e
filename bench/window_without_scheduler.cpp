// The program's window as main() builds it, but with its printer list and
// spooler in memory: what the window itself costs, libcups and its
// libraries loaded as the program must load them, without the scheduler's
// round trips. The list holds the bench's queue names, as many as asked
// (one by default), the last of them the default.
//
//   window-without-scheduler-probe [QUEUES]
#include <algorithm>
#include <cstdlib>

#include "bench_queue_name.h"
#include "brisakett_application.h"
#include "current_printer.h"
#include "fake_printing.h"
#include "form1.h"
#include "libcups_loaded.h"
#include "msg_box.h"
#include "system_sys_info.h"

int main(int argc, char** argv) {
  brisakett::bench::KeepLibcupsLoaded();
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

  brisakett::Form1 form({printers, spooler, printer, *registry, *processes, msgBox});
  form.show();
  return app.exec();
}
