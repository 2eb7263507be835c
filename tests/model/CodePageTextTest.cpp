#include "model/CodePageText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace quillon;

TEST(CodePageText, ShowsValidUtf8AsItIsAndAnythingElseAsWindows1252) {
  const struct {
    std::string in;
    bool utf8;
    std::string shown;
  } cases[] = {
      {"plain", true, "plain"},
      {"caf\xc3\xa9 \xf0\x9f\x8d\xaa", true, "caf\xc3\xa9 \xf0\x9f\x8d\xaa"},
      {"\xef\xbf\xbf\xf4\x8f\xbf\xbf", true, "\xef\xbf\xbf\xf4\x8f\xbf\xbf"}, // U+FFFF, U+10FFFF
      {"caf\xe9", false, "caf\xc3\xa9"},
      {"\x80\x9f", false, "\xe2\x82\xac\xc5\xb8"},             // euro sign, Y with diaeresis
      {"\x81\x8d", false, "\xc2\x81\xc2\x8d"},                 // unassigned: C1 code points
      {"\xc0\xaf", false, "\xc3\x80\xc2\xaf"},                 // overlong "/"
      {"\xe0\x80\xaf", false, "\xc3\xa0\xe2\x82\xac\xc2\xaf"}, // overlong, three bytes
      {"\xed\xa0\x80", false, "\xc3\xad\xc2\xa0\xe2\x82\xac"}, // a surrogate
      {"\xf4\x90\x80\x80", false, "\xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac"}, // above U+10FFFF
      {"\xc3", false, "\xc3\x83"},                                             // cut off
      {"\xe2\x82", false, "\xc3\xa2\xe2\x80\x9a"},                             // cut off
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.in), c.utf8) << c.in;
    EXPECT_EQ(DisplayUtf8(c.in), c.shown) << c.in;
  }
}

} // namespace
