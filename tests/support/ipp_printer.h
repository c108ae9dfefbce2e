#pragma once

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>

#include "temp_folder.h"

namespace brisakett::testing {

// An IPP printer of our own (ippeveprinter, Debian package cups-ipp-utils)
// on a free loopback port, that takes only the document formats given: a
// document it cannot identify as one of them, as a raw job, it refuses.
class IppPrinter {
public:
  // Null, with the reason in *why, when it cannot be started.
  static std::unique_ptr<IppPrinter> Start(const std::string& formats, std::string* why);
  ~IppPrinter();

  IppPrinter(const IppPrinter&) = delete;
  IppPrinter& operator=(const IppPrinter&) = delete;

  // The device URI for a queue that prints to it.
  std::string Uri() const { return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print"; }
  // What it logged, for a failing test to show.
  std::string Log() const { return ReadFile(folder_.path() / "log"); }

private:
  IppPrinter() = default;

  TempFolder folder_;
  pid_t bus_ = -1;
  pid_t printer_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace brisakett::testing
