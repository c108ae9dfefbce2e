// The printer list against a real scheduler with instances saved in the
// user's lpoptions: each is listed as "queue/instance" after its queue.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "cups/cups_printer_catalog.h"
#include "private_cupsd.h"

namespace brisakett {
namespace {

TEST(CupsPrinterCatalog, ListsQueuesAndTheirSavedInstances) {
  std::string why;
  std::unique_ptr<testing::PrivateCupsd> cupsd = testing::PrivateCupsd::Start(&why);
  if (!cupsd) {
    if (testing::CupsdRequired()) FAIL() << "no private cupsd: " << why;
    GTEST_SKIP() << "no private cupsd: " << why;
  }
  for (const char* queue : {"Gamma", "beta", "Alpha"}) {
    ASSERT_TRUE(cupsd->AddQueue(queue, 9, &why)) << why;
  }
  const std::filesystem::path lpoptions = cupsd->UserHome() + "/.cups/lpoptions";
  std::filesystem::create_directories(lpoptions.parent_path());
  std::ofstream(lpoptions) << "Dest Gamma/Zweit copies=2\n"
                              "Default Gamma/Aa\n"
                              "Dest Missing/x\n"
                              "Dest beta sides=two-sided-long-edge\n";

  const CupsPrinterCatalog catalog;
  EXPECT_THAT(catalog.DeviceNames(),
              ::testing::ElementsAre("Alpha", "beta", "Gamma", "Gamma/Aa", "Gamma/Zweit"));
  EXPECT_EQ(catalog.DefaultDeviceName(), "Gamma/Aa");
}

}  // namespace
}  // namespace brisakett
