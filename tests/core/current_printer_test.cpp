#include <gtest/gtest.h>

#include "current_printer.h"
#include "fake_printing.h"

namespace brisakett {
namespace {

using testing::FakeCatalog;

bool Select(const PrinterCatalog& catalog, CurrentPrinter& current, const std::string& name,
            std::string* unreachable = nullptr) {
  Deadline deadline(kServerPatience);
  return SelectPrinter(catalog, current, name, deadline, unreachable);
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
  catalog.failure = "The print server localhost cannot be reached.";
  CurrentPrinter current("Old");
  std::string why;
  EXPECT_FALSE(Select(catalog, current, "Laser", &why));
  EXPECT_EQ(why, catalog.failure);
  EXPECT_EQ(current.DeviceName(), "Old");
  catalog.failure.clear();
  EXPECT_TRUE(Select(catalog, current, "Laser", &why));
  EXPECT_EQ(why, "");
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
