#pragma once

#include <memory>

#include "current_printer.h"
#include "password_dialog.h"
#include "services.h"
#include "system_printing.h"
#include "system_sys_info.h"

namespace brisakett {

// The operating system's printers, spooler, registry and program start,
// and the application's current printer, starting on the default one: what
// the windows are given when the program runs for real. A print server
// that wants a password asks through a dialog of the program's own.
struct SystemServices {
  DialogPasswordPrompt passwordPrompt;
  SpoolerLogin login{{}, &passwordPrompt};
  std::unique_ptr<PrinterCatalog> printers = MakeSystemPrinterCatalog(login);
  std::unique_ptr<Spooler> spooler = MakeSystemSpooler(login);
  std::unique_ptr<Registry> registry = MakeSystemRegistry();
  std::unique_ptr<ProcessStarter> processes = MakeSystemProcessStarter();
  CurrentPrinter printer = CurrentPrinter::FromDefault(*printers);

  Services With(MsgBox& msgBox) {
    return {*printers, *spooler, printer, *registry, *processes, msgBox};
  }
};

}  // namespace brisakett
