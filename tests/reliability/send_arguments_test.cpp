// brisakett-send run as a real process with odd bytes in argv: each is a
// name that no printer has, and nothing is sent.

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "child_process.h"
#include "printing_setup.h"
#include "require_scheduler.h"

namespace brisakett {
namespace {

using namespace std::chrono_literals;

testing::ProgramRun Send(const std::string& argument) {
  return testing::RunProgram({BRISAKETT_SEND_PATH, "--", argument});
}

TEST(SendArguments, OddBytesNameNoPrinterAndSendNothing) {
  auto setup = testing::StartPrinting({"Laser"}, "Laser");
  REQUIRE_SCHEDULER(*setup);

  const std::vector<std::string> arguments{
      "",
      std::string(10000, 'x'),
      "Laser\n",
      "Laser\x01",
      "\x1b%-12345X@PJL",
      "\xff\xfe",
      "Las\xe9r",                // Latin-1, not UTF-8
      "Laser\xed\xa0\x80",       // an encoded surrogate
      "Laser\xc3",               // cut in the middle of a character
      "Laser/",
      "Laser/Entwurf",
      "Laser#1",
      "Laser?waiting=1",
      "La ser",
      " Laser",
      "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xbd\xd1\x82\xd0\xb5\xd1\x80",  // Принтер
  };
  for (const std::string& argument : arguments) {
    SCOPED_TRACE(::testing::PrintToString(argument.substr(0, 40)));
    const testing::ProgramRun run = Send(argument);
    EXPECT_EQ(run.exitStatus, 3);
    EXPECT_EQ(run.output, "The Printer Name you typed wasn't recognized.\n");
  }
  EXPECT_TRUE(setup->cupsd->Jobs().empty());

  // The same process does reach the printer when the name is right.
  EXPECT_EQ(Send("Laser").exitStatus, 0);
  EXPECT_TRUE(setup->Printer("Laser").WaitForJobs(1, 30s));
  EXPECT_EQ(setup->Printer("Laser").Jobs().size(), 1u);
}

}  // namespace
}  // namespace brisakett
