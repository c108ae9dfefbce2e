#pragma once

#include <string>

#include "spooler.h"

namespace brisakett {

// The print server that answers for a device name: "server" for a printer
// connection "\\server\queue", "localhost" for a printer of this computer.
std::string PrintServerOf(const std::string& deviceName);

// How a spooler call that failed with `code` (its GetLastError()) ended,
// for a printer of `server` (PrintServerOf its name). This is the one
// place where Windows' error codes become verdicts, so that the spooler,
// the list and the job following tell a wrong name, a refusal, a password
// not taken and a lost server apart alike.
SpoolerFailure SpoolerFailureOf(unsigned long code, const std::string& server);

// The verdict on a call to `server` that was left unanswered at the
// deadline.
ServerAnswer SpoolerTimedOut(const std::string& server);

}  // namespace brisakett
