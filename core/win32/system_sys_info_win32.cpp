#include "system_sys_info.h"

#include "win32/win32_process_starter.h"
#include "win32/win32_registry.h"

namespace brisakett {

std::unique_ptr<Registry> MakeSystemRegistry() { return std::make_unique<Win32Registry>(); }

std::unique_ptr<ProcessStarter> MakeSystemProcessStarter() {
  return std::make_unique<Win32ProcessStarter>();
}

}  // namespace brisakett
