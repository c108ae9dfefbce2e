#pragma once

#include "password_prompt.h"
#include "spooler.h"

namespace brisakett {

// Submits through a connection to the scheduler (CupsConnection, the server
// CUPS_HTTP_DEFAULT would reach), so a private or remote scheduler named by
// CUPS_SERVER receives the job, not the printer's device address.
class CupsSpooler final : public Spooler {
public:
  explicit CupsSpooler(const SpoolerLogin& login) : login_(login) {}

  std::unique_ptr<SpoolerPrinter> Open(const std::string& deviceName, Deadline& deadline,
                                       SpoolerFailure& failure) override;

private:
  const SpoolerLogin& login_;
};

}  // namespace brisakett
