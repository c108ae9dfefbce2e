#pragma once

#include <atomic>
#include <string>
#include <vector>

#include "device_status_source.h"
#include "device_status_source.h"
#include "job_watcher.h"
#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"
#include "text_output.h"
#include "wake_outcome.h"

namespace brisakett {

// The whole command, apart from main's own plumbing, so it runs in tests
// against any printer list, spooler, job watcher and outputs. `login` is
// the one the printer list and spooler were made with; -U sets its user.
// `stop`, once set (by SIGTERM or SIGINT), ends a run as its time running
// out would. With `locator` and `deviceStatus`, --wait also asks each
// printer that has its job whether it is ready. The exit status is one of
// ExitStatus.
int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err, const std::atomic<bool>* stop = nullptr,
                   const DeviceLocator* locator = nullptr,
                   const DeviceStatusSource* deviceStatus = nullptr);

}  // namespace brisakett
