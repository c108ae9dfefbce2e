#pragma once

#include <cstdio>
#include <string>

namespace brisakett::bench {

// "Bench-0001" for 1: zero-padded, so the scheduler's name order is the
// number order and the first, middle and last queue are known.
inline std::string BenchQueueName(int number) {
  char name[32];
  std::snprintf(name, sizeof name, "Bench-%04d", number);
  return name;
}

}  // namespace brisakett::bench
