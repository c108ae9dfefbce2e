#include <gtest/gtest.h>

#include "current_printer.h"
#include "fake_printing.h"

namespace brisakett {
namespace {

using testing::FakeCatalog;

bool Select(const PrinterCatalog& catalog, CurrentPrinter& current, const std::string& name,
            ServerAnswer* asked = nullptr) {
  Deadline deadline(kServerPatience);
  return SelectPrinter(catalog, current, name, deadline, asked);
}

TEST(SelectPrinter, MatchesExactlyAndOnlyExactly) {
  FakeCatalog catalog;
  catalog.names = {"Laser", "laser2", "Büro/Entwurf"};
  CurrentPrinter current("Laser");

  EXPECT_TRUE(Select(catalog, current, "Büro/Entwurf"));
  EXPECT_EQ(current.DeviceName(), "Büro/Entwurf");

  // Letter case, surrounding blanks and prefixes are other names.
  for (const char* near : {"LASER", "laser", " Laser", "Laser ", "Lase", "Laser2", ""}) {
    EXPECT_FALSE(Select(catalog, current, near)) << near;
    EXPECT_EQ(current.DeviceName(), "Büro/Entwurf") << near;
  }
}

TEST(SelectPrinter, NoPrintersMatchesNothing) {
  FakeCatalog catalog;
  CurrentPrinter current(std::nullopt);
  EXPECT_FALSE(Select(catalog, current, "Combo1"));
  EXPECT_FALSE(Select(catalog, current, ""));
  EXPECT_FALSE(current.HasPrinter());
  EXPECT_EQ(current.DeviceName(), "");
}

TEST(SelectPrinter, NamesAreComparedByteForByte) {
  FakeCatalog catalog;
  // "é" precomposed and as e + combining accent look alike but differ.
  catalog.names = {"Caf\xC3\xA9"};
  CurrentPrinter current(std::nullopt);
  EXPECT_FALSE(Select(catalog, current, "Cafe\xCC\x81"));
  EXPECT_TRUE(Select(catalog, current, "Caf\xC3\xA9"));
  // A name with a NUL inside is not the name that ends there.
  EXPECT_FALSE(Select(catalog, current, std::string("Caf\xC3\xA9\0x", 7)));
}

TEST(SelectPrinter, AnUnansweredQuestionIsNoAnswerAndSaysWhy) {
  FakeCatalog catalog;
  catalog.names = {"Laser"};
  CurrentPrinter current("Old");
  ServerAnswer asked;
  for (const ServerAnswer& failure :
       {ServerAnswer{ServerVerdict::Unreachable, "The print server localhost cannot be reached."},
        ServerAnswer{ServerVerdict::WantsPassword, "Unauthorized"}}) {
    catalog.failure = failure;
    EXPECT_FALSE(Select(catalog, current, "Laser", &asked));
    EXPECT_EQ(asked.verdict, failure.verdict);
    EXPECT_EQ(asked.reason, failure.reason);
    EXPECT_EQ(current.DeviceName(), "Old");
  }
  catalog.failure = {};
  EXPECT_TRUE(Select(catalog, current, "Laser", &asked));
  EXPECT_TRUE(asked.Answered());
}

TEST(CurrentPrinter, StartsOnTheDefaultOrNone) {
  FakeCatalog catalog;
  catalog.names = {"A", "B"};
  catalog.defaultName = "B";
  EXPECT_EQ(CurrentPrinter::FromDefault(catalog).DeviceName(), "B");
  catalog.defaultName.reset();
  EXPECT_FALSE(CurrentPrinter::FromDefault(catalog).HasPrinter());
}

}  // namespace
}  // namespace brisakett
