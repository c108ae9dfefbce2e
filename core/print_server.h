#pragma once

#include <string>

namespace brisakett {

// The print server that holds a printer's queue, as it was given, so that
// what a run reports keeps two servers apart: with CUPS the server that
// CUPS_SERVER, client.conf or the local default name (its host, with the
// port when that is not 631, or the domain socket's path); on Windows the
// server of a printer shared from another machine ("\\server\printer"),
// else "localhost".
std::string PrintServerOf(const std::string& deviceName);

// A print server named as `lp -h` takes it, as the run's reports name it:
// with CUPS its host with the port when not 631 ("print1:631" is
// "print1"), or the socket's path.
std::string PrintServerLabel(const std::string& named);

}  // namespace brisakett
