#include "wake_targets.h"

namespace brisakett {

// The Windows spooler has no instances: every listed printer is a queue.
bool NamesAnInstance(const std::string&) { return false; }

}  // namespace brisakett
