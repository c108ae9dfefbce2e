// The printer list against a real scheduler, with instances saved in the
// user's lpoptions: the list reads the names alone and merges lpoptions
// itself, and must come out as libcups's own cupsGetDests2 lists it.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <cups/cups.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cups/cups_dest_name.h"
#include "child_process.h"
#include "cups/cups_printer_catalog.h"
#include "private_cupsd.h"

namespace brisakett {
namespace {

std::vector<std::string> LibcupsDestNames() {
  cups_dest_t* dests = nullptr;
  const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(CupsDestName(dests[i]));
  cupsFreeDests(count, dests);
  return names;
}

TEST(CupsPrinterCatalog, ListsQueuesAndSavedInstancesAsCupsGetDests2Does) {
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
  std::ofstream(lpoptions) << "# instances of listed queues; a queue spelled in another case\n"
                              "# is shown as spelled here first\n"
                              "Dest Gamma/Zweit copies=2\n"
                              "Dest alpha/erst\n"
                              "Default Gamma/Aa\n"
                              "Dest Gamma/zweit\n"
                              "Dest Missing/x\n"
                              "Dest Gamma/mit\\#Raute # a comment\n"
                              "  dest\tGamma/tab\tcopies=1\n"
                              "Dest BETA sides=two-sided-long-edge\n";

  const SpoolerLogin login;
  const CupsPrinterCatalog catalog(login);
  Deadline deadline(kServerPatience);
  std::vector<std::string> listed = catalog.DeviceNames(deadline).value;
  EXPECT_THAT(listed, ::testing::ElementsAre("alpha", "alpha/erst", "BETA", "Gamma", "Gamma/Aa",
                                             "Gamma/mit#Raute", "Gamma/tab", "Gamma/Zweit"));
  EXPECT_EQ(listed, LibcupsDestNames());
  EXPECT_EQ(catalog.DefaultDeviceName(deadline).value, "Gamma/Aa");

  // Asked about one name alone, the catalog answers exactly what the list
  // says: every listed name, a class among them, and no near miss.
  const testing::ProgramRun lpadmin =
      testing::RunProgram({testing::FindProgram("lpadmin"), "-p", "Gamma", "-c", "Team"});
  ASSERT_EQ(lpadmin.exitStatus, 0) << lpadmin.output;
  listed = catalog.DeviceNames(deadline).value;
  ASSERT_EQ(listed, LibcupsDestNames());
  std::vector<std::string> asked = listed;
  for (const char* other : {"Alpha", "ALPHA/erst", "beta", "gamma", "Gamma/zweit", "Gamma/",
                            "Gamma/Zweit/x", "Gamma/mit\\#Raute", "Missing/x", "team", "Team/x",
                            "Delta", "", "/", "#", "Gamma ", "%47amma", "Gamma\nGamma"}) {
    asked.push_back(other);
  }
  for (const std::string& name : asked) {
    const SpoolerAnswer<bool> installed = catalog.IsInstalled(name, deadline);
    EXPECT_TRUE(installed.Answered()) << name << ": " << installed.reason;
    EXPECT_EQ(installed.value, std::find(listed.begin(), listed.end(), name) != listed.end())
        << "'" << name << "'";
  }
}

}  // namespace
}  // namespace brisakett
