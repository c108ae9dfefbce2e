#pragma once

#include <memory>

#include "current_printer.h"
#include "services.h"
#include "system_printing.h"
#include "system_sys_info.h"

namespace brisakett {

// The operating system's printers, spooler, registry and program start,
// and the application's current printer, starting on the default one: what
// the windows are given when the program runs for real.
struct SystemServices {
  std::unique_ptr<PrinterCatalog> printers = MakeSystemPrinterCatalog();
  std::unique_ptr<Spooler> spooler = MakeSystemSpooler();
  std::unique_ptr<Registry> registry = MakeSystemRegistry();
  std::unique_ptr<ProcessStarter> processes = MakeSystemProcessStarter();
  CurrentPrinter printer = CurrentPrinter::FromDefault(*printers);

  Services With(MsgBox& msgBox) {
    return {*printers, *spooler, printer, *registry, *processes, msgBox};
  }
};

}  // namespace brisakett
