#pragma once

#include <string>

namespace brisakett {

// Starts programs by their path, the way the operating system does it.
class ProcessStarter {
public:
  virtual ~ProcessStarter() = default;

  // True when `path` names a regular file (a folder is not one).
  virtual bool FileExists(const std::string& path) const = 0;

  // Starts the file `path` names, as it is: no arguments, no shell, no
  // search along PATH. Does not wait for the program. False when it cannot
  // be started.
  virtual bool StartDetached(const std::string& path) = 0;
};

}  // namespace brisakett
