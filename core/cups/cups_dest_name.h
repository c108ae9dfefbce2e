#pragma once

#include <string>

#include <cups/cups.h>

namespace brisakett {

// "queue" or "queue/instance", the way lpstat names a destination.
inline std::string CupsDestName(const cups_dest_t& dest) {
  std::string name = dest.name;
  if (dest.instance) {
    name += '/';
    name += dest.instance;
  }
  return name;
}

}  // namespace brisakett
