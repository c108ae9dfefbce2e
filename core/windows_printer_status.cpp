#include "windows_printer_status.h"

#include <cstdio>
#include <string>

namespace brisakett {
namespace {

// What a set bit says of the device's readiness.
enum class Says { Attention, Warming, Nothing };

struct StatusBit {
  std::uint32_t mask;
  const char* words;
  Says says;
};

// Windows spooler printer status bits (winspool.h PRINTER_STATUS_*), those
// that decide first, in the order their words are given. "Nothing" bits are asked about again:
// the spooler busy with a job (busy, printing...) tells nothing of the
// device; a warning (low toner) or the queue's own state (pending
// deletion, driver update needed) leaves the reading as it is.
constexpr StatusBit kStatusBits[] = {
    {0x00400000, "door open", Says::Attention},
    {0x00000008, "jammed", Says::Attention},
    {0x00000010, "no paper", Says::Attention},
    {0x00040000, "no toner", Says::Attention},
    {0x00000080, "offline", Says::Attention},
    {0x02000000, "offline at its server", Says::Attention},
    {0x00001000, "not available", Says::Attention},
    {0x00000002, "error", Says::Attention},
    {0x00100000, "user intervention required", Says::Attention},
    {0x00000040, "paper problem", Says::Attention},
    {0x00000800, "output bin full", Says::Attention},
    {0x00080000, "cannot print the current page", Says::Attention},
    {0x00200000, "out of memory", Says::Attention},
    {0x00000001, "paused", Says::Attention},
    {0x00000020, "manual feed", Says::Attention},
    {0x00008000, "initializing", Says::Warming},
    {0x00010000, "warming up", Says::Warming},
    {0x01000000, "in power save", Says::Warming},
    {0x00000200, "busy", Says::Nothing},
    {0x00004000, "processing", Says::Nothing},
    {0x00000400, "printing", Says::Nothing},
    {0x00002000, "waiting", Says::Nothing},
    {0x00000100, "input/output active", Says::Nothing},
    // Documented as "the printer status is unknown".
    {0x00800000, "status unknown", Says::Nothing},
    {0x00020000, "low toner", Says::Nothing},
    {0x00000004, "pending deletion", Says::Nothing},
    {0x04000000, "driver update needed", Says::Nothing},
};

std::string UnknownBits(std::uint32_t status) {
  for (const StatusBit& bit : kStatusBits) status &= ~bit.mask;
  if (status == 0) return {};
  char hex[32];
  std::snprintf(hex, sizeof hex, "status bits 0x%08lx", static_cast<unsigned long>(status));
  return hex;
}

}  // namespace

DeviceStatus ReadWindowsPrinterStatus(std::uint32_t status) {
  std::string words[3];  // by what the bits say
  for (const StatusBit& bit : kStatusBits) {
    if (status & bit.mask) AppendWords(words[static_cast<int>(bit.says)], bit.words);
  }
  AppendWords(words[static_cast<int>(Says::Nothing)], UnknownBits(status));

  DeviceStatus reading;
  for (const std::string& some : words) AppendWords(reading.said, some);
  // The words go from the bits that decide to those that do not.
  reading.condition = reading.said;
  if (!words[static_cast<int>(Says::Attention)].empty()) {
    reading.readiness = DeviceReadiness::NeedsAttention;
  } else if (!words[static_cast<int>(Says::Warming)].empty()) {
    reading.readiness = DeviceReadiness::WarmingUp;
  } else {
    reading.readiness = DeviceReadiness::NotKnown;
    reading.condition =
        status == 0 ? "the spooler reports no status" : "the spooler reports " + reading.said;
    reading.tellsNothing = status == 0;
  }
  return reading;
}

}  // namespace brisakett
