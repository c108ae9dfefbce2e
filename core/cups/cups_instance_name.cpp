#include "wake_targets.h"

namespace brisakett {

// CUPS queue names cannot hold '/'; CupsPrinterCatalog lists an instance
// as "queue/instance".
bool NamesAnInstance(const std::string& deviceName) {
  return deviceName.find('/') != std::string::npos;
}

}  // namespace brisakett
