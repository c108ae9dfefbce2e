#pragma once

// What the figures of brisakett-send-many-bench share: their settings, how
// a figure's rounds are summed up, and how the bench gives up.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace brisakett::bench {

struct Settings {
  int rounds = 5;
  int queues = 200;         // the first table's; 0 leaves it out
  int readyPrinters = 300;  // the SNMP all-ready table's; 0 leaves it out
  int ippPrinters = 300;    // the IPP all-ready table's; 0 leaves it out
  int followedJobs = 300;   // jobs followed round by round; 0 leaves that table out
  int cancelledJobs = 250;  // jobs cancelled at the time-out; 0 leaves that table out
  int serverPrinters = 300;  // printers over several servers; 0 leaves that table out
  int servers = 5;           // the servers they are spread over
};

inline double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// "12.3 (10.1 to 15.0)": the median and the spread of the rounds, in
// printf's `format` for one value.
inline std::string MedianAndSpread(const std::vector<double>& values, const char* format) {
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  char text[96];
  std::snprintf(text, sizeof text, format, Median(values));
  std::string out = text;
  std::snprintf(text, sizeof text, format, *low);
  out += std::string(" (") + text;
  std::snprintf(text, sizeof text, format, *high);
  return out + " to " + text + ")";
}

[[noreturn]] inline void Fail(const std::string& why) {
  std::fprintf(stderr, "brisakett-send-many-bench: %s\n", why.c_str());
  std::exit(1);
}

}  // namespace brisakett::bench
