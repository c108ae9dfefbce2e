#include <exception>

#include "brisakett_application.h"
#include "current_printer.h"
#include "form1.h"
#include "msg_box.h"
#include "system_printing.h"
#include "system_sys_info.h"

int main(int argc, char** argv) {
  brisakett::MsgBox msgBox;
  brisakett::BrisakettApplication app(argc, argv, msgBox);

  // Loading the window runs before the event loop, so a failure there is
  // reported here the way the application object reports a handler's.
  try {
    const auto printers = brisakett::MakeSystemPrinterCatalog();
    const auto spooler = brisakett::MakeSystemSpooler();
    const auto registry = brisakett::MakeSystemRegistry();
    const auto processes = brisakett::MakeSystemProcessStarter();
    brisakett::CurrentPrinter printer = brisakett::CurrentPrinter::FromDefault(*printers);

    brisakett::Form1 form({*printers, *spooler, printer, *registry, *processes, msgBox});
    form.show();
    return app.exec();
  } catch (const std::exception& error) {
    brisakett::ReportRunTimeError(msgBox, QString::fromUtf8(error.what()));
    return EXIT_FAILURE;
  }
}
