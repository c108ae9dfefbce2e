#include "wake_targets.h"

#include "cups/cups_dest_name.h"

namespace brisakett {

bool NamesAnInstance(const std::string& deviceName) {
  return CupsQueueOf(deviceName) != deviceName;
}

}  // namespace brisakett
