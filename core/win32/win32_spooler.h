#pragma once

#include <memory>

#include "spooler.h"
#include "win32/winspool_calls.h"

namespace brisakett {

// The Windows print spooler (winspool): printers are opened by their wide
// names, and the job is spooled as raw bytes. Every call of a job waits
// for the spooler at most until the deadline given to Open.
class Win32Spooler final : public Spooler {
public:
  explicit Win32Spooler(std::shared_ptr<WinspoolCalls> winspool = SystemWinspool());

  std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                       SpoolerFailure& failure) override;

private:
  std::shared_ptr<WinspoolCalls> winspool_;
};

}  // namespace brisakett
