#include "system_sys_info.h"

#include <cstdlib>

#include "posix/linux_registry.h"
#include "posix/posix_process_starter.h"

namespace brisakett {

std::unique_ptr<Registry> MakeSystemRegistry() {
  const char* path = std::getenv("PATH");
  return std::make_unique<LinuxRegistry>(path ? path : "");
}

std::unique_ptr<ProcessStarter> MakeSystemProcessStarter() {
  return std::make_unique<PosixProcessStarter>();
}

}  // namespace brisakett
