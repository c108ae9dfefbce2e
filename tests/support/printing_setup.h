#pragma once

// A private scheduler whose queues print to capture printers on loopback
// ports, as the end-to-end and reliability suites set it up.

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "capture_server.h"
#include "private_cupsd.h"

namespace brisakett::testing {

struct PrintingSetup {
  std::unique_ptr<PrivateCupsd> cupsd;  // null when it could not be set up
  std::map<std::string, std::unique_ptr<tools::CaptureServer>> printers;
  std::string why;  // why there is no scheduler

  tools::CaptureServer& Printer(const std::string& queue) { return *printers.at(queue); }
};

inline std::unique_ptr<PrintingSetup> StartPrinting(
    const std::vector<std::string>& queues, const std::optional<std::string>& defaultQueue,
    const std::vector<std::string>& rejecting = {}, PrivateCupsdOptions options = {}) {
  auto setup = std::make_unique<PrintingSetup>();
  std::unique_ptr<PrivateCupsd> cupsd = PrivateCupsd::Start(&setup->why, options);
  if (!cupsd) return setup;
  for (const std::string& queue : queues) {
    auto printer = std::make_unique<tools::CaptureServer>();
    if (!cupsd->AddQueue(queue, printer->Port(), &setup->why)) return setup;
    setup->printers.emplace(queue, std::move(printer));
  }
  if (defaultQueue && !cupsd->SetDefault(*defaultQueue, &setup->why)) return setup;
  for (const std::string& queue : rejecting) {
    if (!cupsd->Reject(queue, &setup->why)) return setup;
  }
  setup->cupsd = std::move(cupsd);
  return setup;
}

}  // namespace brisakett::testing
