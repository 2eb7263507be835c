#include "winapi/image/ImageFileSystem.h"

#include <gtest/gtest.h>

using quillon::winapi::image::MatchesWildcard;

namespace {

struct TWildcardCase {
  const char* name;
  const char* mask;
  bool matches;
};

const TWildcardCase kCases[] = {
    // "*.*" is every name, with or without a dot; "*." only names without one.
    {"readme", "*.*", true},
    {"a.txt", "*.*", true},
    {".hidden", "*.*", true},
    {"readme", "*.", true},
    {"a.txt", "*.", false},
    {"index", "index.*", true},
    {"index.dat", "INDEX.*", true},
    {"indexdat", "index.*", false},
    // "?" is exactly one character, also a multi-byte one.
    {"a.txt", "?.txt", true},
    {"ab.txt", "?.txt", false},
    {".txt", "?.txt", false},
    {"\xC3\xBC", "?", true},         // "ü" is one character
    {"\xC3\x84rger", "?rger", true}, // "Ärger"
    // Case is ignored, beyond ASCII too.
    {"Index.DAT", "index.dat", true},
    {"index.dat", "index.da", false},
    {"M\xC3\x9CLLER.txt", "m\xC3\xBCller.*", true},                 // MÜLLER / müller
    {"\xD0\x98\xD0\x9C\xD0\xAF", "\xD0\xB8\xD0\xBC\xD1\x8F", true}, // ИМЯ / имя
    // Stars with backtracking.
    {"aXbYc", "a*b*c", true},
    {"ABC", "a*b*c", true},
    {"abcbc", "a*b*c", true},
    {"aXbY", "a*b*c", false},
    {"acb", "a*b*c", false},
    {"a.b.c", "*.c", true},
    {"cookies.sqlite-journal", "*.sqlite", false},
    {"f", "**", true},
    {"ab", "a**?", true},
    // Bytes that are not UTF-8 still match, each as one character.
    {"\xFF\xFE.dat", "*.dat", true},
    {"\xFF", "?", true},
    {"\xFF", "\xFE", false},
    // Empty names and masks match nothing.
    {"", "*", false},
    {"a", "", false},
    {"", "", false},
};

TEST(MatchesWildcard, FollowsWindowsRules) {
  for (const TWildcardCase& c : kCases)
    EXPECT_EQ(MatchesWildcard(c.name, c.mask), c.matches)
        << "name \"" << c.name << "\" mask \"" << c.mask << "\"";
}

TEST(MatchesWildcard, LongMaskOfStarsStaysFast) {
  const std::string name(2000, 'a');
  const std::string mask = std::string(1000, '*') + "b";
  EXPECT_FALSE(MatchesWildcard(name, mask));
  EXPECT_TRUE(MatchesWildcard(name + "b", mask));
}

} // namespace
