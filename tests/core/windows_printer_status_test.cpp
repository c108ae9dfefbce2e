#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "windows_printer_status.h"

namespace brisakett {
namespace {

using R = DeviceReadiness;

TEST(WindowsPrinterStatus, StatusBits) {
  struct Row {
    std::uint32_t status;
    bool portReportsStatus;
    R readiness;
    std::string condition;
  };
  const Row rows[] = {
      {0, true, R::Ready, ""},
      {0, false, R::NotKnown, ""},
      {0x20000, false, R::Ready, "low toner"},        // TONER_LOW
      {0x400, true, R::Ready, ""},                    // PRINTING
      {0x10000, true, R::WarmingUp, "warming up"},    // WARMING_UP
      {0x1000000, false, R::WarmingUp, "in power save or standby"},
      {0x10000 | 0x20000, true, R::WarmingUp, "warming up"},
      {0x400000, true, R::NeedsAttention, "door open"},
      {0x8, true, R::NeedsAttention, "jammed"},
      {0x10, true, R::NeedsAttention, "no paper"},
      {0x40000, true, R::NeedsAttention, "no toner"},
      {0x80, true, R::NeedsAttention, "offline"},
      {0x100000, true, R::NeedsAttention, "user intervention required"},
      {0x10000 | 0x8 | 0x10, true, R::NeedsAttention, "jammed, no paper"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    const DeviceStatus status = ReadWindowsPrinterStatus(row.status, row.portReportsStatus);
    EXPECT_EQ(status.readiness, row.readiness);
    EXPECT_EQ(status.readiness == R::Ready ? status.warnings : status.condition, row.condition);
  }
}

}  // namespace
}  // namespace brisakett
