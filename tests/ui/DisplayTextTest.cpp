#include "ui/DisplayText.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(DisplayText, ShowsUtf8AsItIsAndOtherBytesAsWindows1252) {
  EXPECT_EQ(DisplayText("caf\xc3\xa9"), QString::fromUtf8("caf\xc3\xa9"));
  EXPECT_EQ(DisplayText("caf\xe9 \x80"), QString::fromUtf16(u"caf\u00e9 \u20ac"));
  EXPECT_EQ(EscapeMnemonics("A & B"), "A && B");
}
