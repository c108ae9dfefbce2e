#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "windows_printer_status.h"

namespace brisakett {
namespace {

using R = DeviceReadiness;

// Every PRINTER_STATUS_* bit alone, then the mixtures where the order of
// the rows decides.
TEST(WindowsPrinterStatus, EveryBitHasItsRowAndIsNamed) {
  struct Row {
    std::uint32_t status;
    R readiness;
    std::string condition;
  };
  const Row rows[] = {
      {0x00400000, R::NeedsAttention, "door open"},                      // DOOR_OPEN
      {0x00000008, R::NeedsAttention, "jammed"},                         // PAPER_JAM
      {0x00000010, R::NeedsAttention, "no paper"},                       // PAPER_OUT
      {0x00040000, R::NeedsAttention, "no toner"},                       // NO_TONER
      {0x00000080, R::NeedsAttention, "offline"},                        // OFFLINE
      {0x02000000, R::NeedsAttention, "offline at its server"},          // SERVER_OFFLINE
      {0x00001000, R::NeedsAttention, "not available"},                  // NOT_AVAILABLE
      {0x00000002, R::NeedsAttention, "error"},                          // ERROR
      {0x00100000, R::NeedsAttention, "user intervention required"},     // USER_INTERVENTION
      {0x00000040, R::NeedsAttention, "paper problem"},                  // PAPER_PROBLEM
      {0x00000800, R::NeedsAttention, "output bin full"},                // OUTPUT_BIN_FULL
      {0x00080000, R::NeedsAttention, "cannot print the current page"},  // PAGE_PUNT
      {0x00200000, R::NeedsAttention, "out of memory"},                  // OUT_OF_MEMORY
      {0x00000001, R::NeedsAttention, "paused"},                         // PAUSED
      {0x00000020, R::NeedsAttention, "manual feed"},                    // MANUAL_FEED
      {0x00008000, R::WarmingUp, "initializing"},                        // INITIALIZING
      {0x00010000, R::WarmingUp, "warming up"},                          // WARMING_UP
      {0x01000000, R::WarmingUp, "in power save"},                       // POWER_SAVE
      {0x00000200, R::NotKnown, "the spooler reports busy"},             // BUSY
      {0x00004000, R::NotKnown, "the spooler reports processing"},       // PROCESSING
      {0x00000400, R::NotKnown, "the spooler reports printing"},         // PRINTING
      {0x00002000, R::NotKnown, "the spooler reports waiting"},          // WAITING
      {0x00000100, R::NotKnown, "the spooler reports input/output active"},  // IO_ACTIVE
      {0x00800000, R::NotKnown, "the spooler reports status unknown"},   // SERVER_UNKNOWN
      {0x00020000, R::NotKnown, "the spooler reports low toner"},        // TONER_LOW
      {0x00000004, R::NotKnown, "the spooler reports pending deletion"},  // PENDING_DELETION
      {0x04000000, R::NotKnown, "the spooler reports driver update needed"},
      // Nothing set is the spooler saying nothing, never "ready".
      {0, R::NotKnown, "the spooler reports no status"},
      {0x40000000, R::NotKnown, "the spooler reports status bits 0x40000000"},
      // A stop bit wins, a warming bit next; every set bit is named.
      {0x00010000 | 0x00000008 | 0x00020000, R::NeedsAttention, "jammed, warming up, low toner"},
      {0x01000000 | 0x00000400 | 0x00000004, R::WarmingUp,
       "in power save, printing, pending deletion"},
      {0x00000010 | 0x04000000 | 0x40000000, R::NeedsAttention,
       "no paper, driver update needed, status bits 0x40000000"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.status);
    const DeviceStatus status = ReadWindowsPrinterStatus(row.status);
    EXPECT_EQ(status.readiness, row.readiness);
    EXPECT_EQ(status.readiness == R::Ready ? status.warnings : status.condition, row.condition);
  }
  EXPECT_EQ(ReadWindowsPrinterStatus(0x00010000 | 0x00020000).said, "warming up, low toner");
  EXPECT_EQ(ReadWindowsPrinterStatus(0).said, "");
}

}  // namespace
}  // namespace brisakett
