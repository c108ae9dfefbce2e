#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "device_status_source.h"
#include "job_watcher.h"
#include "password_prompt.h"
#include "printer_catalog.h"
#include "spooler.h"
#include "text_output.h"
#include "wake_outcome.h"

namespace brisakett {

// What reaches one print server named with -h.
struct ServerParts {
  std::unique_ptr<PrinterCatalog> printers;
  std::unique_ptr<Spooler> spooler;
  std::unique_ptr<JobWatcher> watcher;
  std::unique_ptr<DeviceLocator> locator;
};
// Makes them for the login's server; the login outlives them.
using MakeServerParts = std::function<ServerParts(const SpoolerLogin& login)>;

// The whole command, apart from main's own plumbing, so it runs in tests
// against any printer list, spooler, job watcher and outputs. `login` is
// the one the printer list and spooler were made with; -U sets its user.
// `stop`, once set (by SIGTERM or SIGINT), ends a run as its time running
// out would. With `locator` and `deviceStatus`, --wait also asks each
// printer that has its job whether it is ready. Print servers named with
// -h are reached through `makeServer`, and instead of the given printer
// list, spooler and watcher; without it -h is refused. The exit status is
// one of ExitStatus.
int RunSendCommand(const std::vector<std::string>& arguments, SpoolerLogin& login,
                   const PrinterCatalog& printers, Spooler& spooler, const JobWatcher& watcher,
                   TextOutput& out, TextOutput& err, const std::atomic<bool>* stop = nullptr,
                   const DeviceLocator* locator = nullptr,
                   const DeviceStatusSource* deviceStatus = nullptr,
                   const MakeServerParts& makeServer = {});

}  // namespace brisakett
