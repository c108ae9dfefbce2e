#pragma once

#include <memory>

#include "process_starter.h"
#include "registry.h"

namespace brisakett {

// The operating system's registry and program start. On Linux the
// registry is the small read-only one that knows where a desktop
// system-information program is, searched for along PATH as it is when
// MakeSystemRegistry is called.
std::unique_ptr<Registry> MakeSystemRegistry();
std::unique_ptr<ProcessStarter> MakeSystemProcessStarter();

}  // namespace brisakett
