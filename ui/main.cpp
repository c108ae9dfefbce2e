#include "brisakett_application.h"
#include "current_printer.h"
#include "form1.h"
#include "msg_box.h"
#include "system_printing.h"
#include "system_sys_info.h"

int main(int argc, char** argv) {
  brisakett::MsgBox msgBox;
  brisakett::BrisakettApplication app(argc, argv, msgBox);

  const auto printers = brisakett::MakeSystemPrinterCatalog();
  const auto spooler = brisakett::MakeSystemSpooler();
  const auto registry = brisakett::MakeSystemRegistry();
  const auto processes = brisakett::MakeSystemProcessStarter();
  brisakett::CurrentPrinter printer = brisakett::CurrentPrinter::FromDefault(*printers);

  brisakett::Form1 form({*printers, *spooler, printer, *registry, *processes, msgBox});
  form.show();
  return app.exec();
}
