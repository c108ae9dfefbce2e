#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"

namespace brisakett {

// Exit statuses of brisakett-send, distinct so a script can tell them apart.
enum SendExitStatus : int {
  kSendSucceeded = 0,
  kSendFailed = 1,         // the spooler did not accept the whole job
  kSendUsageError = 2,     // the command line is wrong
  kSendNotRecognized = 3,  // no installed printer has that name, or no default printer
  kSendUnreachable = 4,    // the print server cannot be reached or does not answer
};

// The whole command, apart from main's own plumbing, so it runs in tests
// against any printer list, spooler and streams. `login` is the one the
// printer list and spooler were made with; -U sets its user.
int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, std::ostream& out,
                   std::ostream& err);

}  // namespace brisakett
