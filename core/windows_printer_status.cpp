#include "windows_printer_status.h"

#include <string>
#include <utility>

namespace brisakett {
namespace {

// Windows spooler status bits (winspool.h).
constexpr std::uint32_t kPaperJam = 0x8, kPaperOut = 0x10, kOffline = 0x80,
                        kPowerSave = 0x1000000, kWarmingUp = 0x10000, kTonerLow = 0x20000,
                        kNoToner = 0x40000, kUserIntervention = 0x100000, kDoorOpen = 0x400000;

DeviceStatus Status(DeviceReadiness readiness, std::string condition, std::string said,
                    std::string warnings = {}) {
  DeviceStatus status;
  status.readiness = readiness;
  status.condition = std::move(condition);
  status.warnings = std::move(warnings);
  status.said = std::move(said);
  return status;
}

}  // namespace

DeviceStatus ReadWindowsPrinterStatus(std::uint32_t status, bool portReportsStatus) {
  std::string stops;
  for (const auto& [bit, words] : {std::pair{kDoorOpen, "door open"}, std::pair{kPaperJam, "jammed"},
                                   std::pair{kPaperOut, "no paper"}, std::pair{kNoToner, "no toner"},
                                   std::pair{kOffline, "offline"},
                                   std::pair{kUserIntervention, "user intervention required"}}) {
    if (status & bit) AppendWords(stops, words);
  }
  const std::string warning = (status & kTonerLow) ? "low toner" : "";
  std::string said = stops;
  if (status & kWarmingUp) AppendWords(said, "warming up");
  if (status & kPowerSave) AppendWords(said, "power save");
  AppendWords(said, warning);

  if (!stops.empty()) return Status(DeviceReadiness::NeedsAttention, stops, said);
  if (status & kWarmingUp) return Status(DeviceReadiness::WarmingUp, "warming up", said);
  if (status & kPowerSave) return Status(DeviceReadiness::WarmingUp, "in power save or standby", said);
  if (!portReportsStatus && status == 0) return Status(DeviceReadiness::NotKnown, "", "");
  return Status(DeviceReadiness::Ready, {}, said.empty() ? "ready" : said, warning);
}

}  // namespace brisakett
