#pragma once

#include "process_starter.h"

namespace brisakett {

// Starts programs with CreateProcessW in a normal window that takes the
// focus, and lets them run on their own.
class Win32ProcessStarter final : public ProcessStarter {
public:
  bool FileExists(const std::string& path) const override;
  bool StartDetached(const std::string& path) override;
};

}  // namespace brisakett
