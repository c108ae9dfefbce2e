#include <gtest/gtest.h>

#include "win32/print_datatype.h"

namespace brisakett {
namespace {

TEST(ChooseDatatype, RawWheneverOfferedElseXpsPassElseRaw) {
  EXPECT_EQ(ChooseDatatype({L"NT EMF 1.008", L"RAW", L"TEXT"}), L"RAW");
  EXPECT_EQ(ChooseDatatype({L"XPS_PASS", L"raw"}), L"RAW");
  EXPECT_EQ(ChooseDatatype({L"NT EMF 1.008", L"XPS_PASS"}), L"XPS_PASS");
  EXPECT_EQ(ChooseDatatype({L"NT EMF 1.008"}), L"RAW");
  EXPECT_EQ(ChooseDatatype({}), L"RAW");
}

}  // namespace
}  // namespace brisakett
