#pragma once

#include "spooler.h"

namespace brisakett {

// The Windows print spooler (winspool): printers are opened by their wide
// names, and the job is spooled as raw bytes.
class Win32Spooler final : public Spooler {
public:
  std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                       SpoolerFailure& failure) override;
};

}  // namespace brisakett
