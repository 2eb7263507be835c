#include "winapi/CaseFold.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon::winapi;

namespace {

TEST(CaseFold, NamesCompareAsWindowsComparesThem) {
  const struct {
    const char* a;
    const char* b;
    bool same;
  } cases[] = {
      {"Software", "SOFTWARE", true},
      {"\xC3\xA4rger", "\xC3\x84RGER", true},                         // ärger, Latin-1
      {"\xC3\xBF", "\xC5\xB8", true},                                 // ÿ and Ÿ: two blocks apart
      {"\xC4\x81\xC5\x82\xC5\xBA", "\xC4\x80\xC5\x81\xC5\xB9", true}, // āłź: Latin Extended-A
      {"\xCE\xAC\xCF\x82", "\xCE\x86\xCE\xA3", true},                 // ά and final ς
      {"\xCF\x8A", "\xCE\xAA", true},                                 // ϊ
      {"\xD0\xBF\xD1\x80\xD0\xB8", "\xD0\x9F\xD0\xA0\xD0\x98", true}, // при
      {"\xD1\x91", "\xD0\x81", true},                                 // ё
      {"\xC4\xB1", "I", false},                                       // dotless ı stays apart
      {"\xC4\xB0", "i", false},                                       // and so does dotted İ
      {"\xC3\x9F", "SS", false},                                      // ß does not expand
      {"a\xFF", "A\xFF", true},    // a byte that is not UTF-8 as itself
      {"\xFF", "\xC3\xBF", false}, // ... never a character
      {"\xC3", "\xC3\xA4", false}, // a cut sequence
      {"abc", "abcd", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SameName(c.a, c.b), c.same) << c.a << " | " << c.b;
    EXPECT_EQ(CompareNames(c.a, c.b) == 0, c.same) << c.a << " | " << c.b;
    const std::string folded = FoldedName(c.a);
    EXPECT_EQ(folded.size(), std::string(c.a).size()) << c.a; // positions line up
    EXPECT_TRUE(SameName(folded, c.a)) << c.a;
  }
}

TEST(CaseFold, OrdersByFoldedCodePoints) {
  EXPECT_LT(CompareNames("apple", "BANANA"), 0);
  EXPECT_GT(CompareNames("\xC3\xA9", "Z"), 0);
  EXPECT_LT(CompareNames("ab", "AB\xC3\xA4"), 0);
  EXPECT_EQ(FoldedName("Program Files\\\xC3\xA4"), "PROGRAM FILES\\\xC3\x84");
}

} // namespace
