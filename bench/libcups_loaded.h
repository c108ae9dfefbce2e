#pragma once

#include <cups/cups.h>

namespace brisakett::bench {

// Keeps a probe linked to libcups without calling into it, so that its
// process loads libcups and the libraries it pulls in, as the program does.
inline void KeepLibcupsLoaded() {
  const char* (*volatile keepLinked)() = &cupsServer;
  (void)keepLinked;
}

}  // namespace brisakett::bench
