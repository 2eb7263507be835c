#include "formats/CookiesTxt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;
using Texts = std::vector<std::string>;

TEST(SplitCookieFields, BlanksTabsAndQuotesSeparateFieldsAndEmptyFieldsVanish) {
  EXPECT_EQ(SplitCookieFields("\t a \t\tb  c"), (Texts{"a", "b", "c"}));
  EXPECT_EQ(SplitCookieFields("\"x \"\"y\"\"\" z"), (Texts{"x \"y\"", "z"}));
  EXPECT_EQ(SplitCookieFields("\"open to the end"), (Texts{"open to the end"}));
  EXPECT_EQ(SplitCookieFields("   "), Texts{});
}
