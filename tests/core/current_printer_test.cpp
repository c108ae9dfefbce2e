#include <gtest/gtest.h>

#include "current_printer.h"
#include "fake_printing.h"

namespace brisakett {
namespace {

using testing::FakeCatalog;

TEST(SelectPrinter, MatchesExactlyAndOnlyExactly) {
  FakeCatalog catalog;
  catalog.names = {"Laser", "laser2", "Büro/Entwurf"};
  CurrentPrinter current("Laser");

  EXPECT_TRUE(SelectPrinter(catalog, current, "Büro/Entwurf"));
  EXPECT_EQ(current.DeviceName(), "Büro/Entwurf");

  // Letter case, surrounding blanks and prefixes are other names.
  for (const char* near : {"LASER", "laser", " Laser", "Laser ", "Lase", "Laser2", ""}) {
    EXPECT_FALSE(SelectPrinter(catalog, current, near)) << near;
    EXPECT_EQ(current.DeviceName(), "Büro/Entwurf") << near;
  }
}

TEST(SelectPrinter, NoPrintersMatchesNothing) {
  FakeCatalog catalog;
  CurrentPrinter current(std::nullopt);
  EXPECT_FALSE(SelectPrinter(catalog, current, "Combo1"));
  EXPECT_FALSE(SelectPrinter(catalog, current, ""));
  EXPECT_FALSE(current.HasPrinter());
  EXPECT_EQ(current.DeviceName(), "");
}

TEST(SelectPrinter, NamesAreComparedByteForByte) {
  FakeCatalog catalog;
  // "é" precomposed and as e + combining accent look alike but differ.
  catalog.names = {"Caf\xC3\xA9"};
  CurrentPrinter current(std::nullopt);
  EXPECT_FALSE(SelectPrinter(catalog, current, "Cafe\xCC\x81"));
  EXPECT_TRUE(SelectPrinter(catalog, current, "Caf\xC3\xA9"));
  // A name with a NUL inside is not the name that ends there.
  EXPECT_FALSE(SelectPrinter(catalog, current, std::string("Caf\xC3\xA9\0x", 7)));
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
