#pragma once

#include <string_view>

namespace brisakett {

// The printer-job-language bytes that wake a PCL printer: two universal
// exit sequences, each followed by a job-language command. 59 bytes, all
// 7-bit, no trailing exit sequence and no page data.
inline constexpr std::string_view kWarmUpStream =
    "\x1b%-12345X@PJL Enter Language=PCL\r\n"
    "\x1b%-12345X@PJL BRISAKETT\r\n";

static_assert(kWarmUpStream.size() == 59);

// The name the spooler shows for the job.
inline constexpr const char* kWarmUpDocumentName = "Command Print";

}  // namespace brisakett
