#pragma once

#include "process_starter.h"

namespace brisakett {

// Starts programs with posix_spawn, in a session of their own so that
// they outlive the program and its terminal. Each started program is
// reaped by a thread of its own when it ends, so none stays a zombie.
class PosixProcessStarter final : public ProcessStarter {
public:
  bool FileExists(const std::string& path) const override;
  bool StartDetached(const std::string& path) override;
};

}  // namespace brisakett
