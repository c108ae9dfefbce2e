#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace brisakett::bench {

// The IPP operations in the scheduler's access log, in order, one per
// request (a request answered 401 and sent again counts twice: both are
// round trips). Needs AccessLogLevel all.
std::vector<std::string> LoggedOperations(const std::string& accessLog);

// "3: CUPS-Get-Default, CUPS-Get-Printers x2": how many, and which.
std::string DescribeOperations(const std::vector<std::string>& operations);

// The same for the operations logged since the log held `from` of them.
// The scheduler may write a line just after its answer, so this waits a
// moment before reading the log.
std::string DescribeOperationsSince(const std::string& accessLog, std::size_t from);

}  // namespace brisakett::bench
