#pragma once

#include <memory>
#include <optional>

#include "current_printer.h"
#include "password_dialog.h"
#include "prefetched_catalog.h"
#include "run_passwords.h"
#include "services.h"
#include "system_printing.h"
#include "system_sys_info.h"

namespace brisakett {

// The operating system's printers, spooler, registry and program start,
// and the application's current printer, starting on the default one: what
// the windows are given when the program runs for real. A print server
// that wants a password asks through a dialog of the program's own.
// Made before the toolkit starts: the default printer is asked for at once
// and the list right after it; With() waits for the default, the window's
// list for the list.
struct SystemServices {
  DialogPasswordPrompt passwordPrompt;
  // Asked once per press of "OK", however many requests the press makes.
  RunPasswords passwords{&passwordPrompt};
  SpoolerLogin login{{}, &passwords, {}};
  std::unique_ptr<PrinterCatalog> printers =
      std::make_unique<PrefetchedCatalog>(MakeSystemPrinterCatalog, login);
  std::unique_ptr<Spooler> spooler = MakeSystemSpooler(login);
  std::unique_ptr<Registry> registry = MakeSystemRegistry();
  std::unique_ptr<ProcessStarter> processes = MakeSystemProcessStarter();
  std::optional<CurrentPrinter> printer;

  Services With(MsgBox& msgBox) {
    if (!printer) printer = CurrentPrinter::FromDefault(*printers);
    return {*printers, *spooler, *printer, *registry, *processes, msgBox, &passwords};
  }
};

}  // namespace brisakett
