#pragma once

#include "send_many_common.h"

namespace brisakett::bench {

// `serverPrinters` printers spread over `servers` print servers (private
// schedulers on loopback TCP ports, an equal share of queues each), woken
// by one `brisakett-send --all` with `-h` for each, against the same
// printers on one server and against one run per server side by side;
// submitting alone and with `--wait`. Prints two Markdown tables: the
// times, and the CPU time that every job cost.
void PrintServersFigure(const Settings& settings);

}  // namespace brisakett::bench
