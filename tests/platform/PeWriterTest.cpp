#include "kit/PeWriter.h"

#include <gtest/gtest.h>

#include <stdexcept>

using namespace quillon::kit;

TEST(PeWriterParseVersion, TakesUpToFourDottedParts) {
  using TParts = std::array<std::uint16_t, 4>;
  EXPECT_EQ(ParseVersion("1.0.154.48"), (TParts{1, 0, 154, 48}));
  EXPECT_EQ(ParseVersion("3.6.28"), (TParts{3, 6, 28, 0}));
  EXPECT_EQ(ParseVersion("5"), (TParts{5, 0, 0, 0}));
  EXPECT_EQ(ParseVersion("1.2.3.4.5"), (TParts{1, 2, 3, 4}));
  EXPECT_EQ(ParseVersion("4.0b1"), (TParts{4, 0, 0, 0}));
  EXPECT_EQ(ParseVersion(""), (TParts{0, 0, 0, 0}));
  EXPECT_EQ(ParseVersion("70000.1"), (TParts{0, 0, 0, 0})); // out of range: unreadable
}

TEST(PeWriterVersionResource, RefusesBlocksLongerThanTheirLengthFieldHolds) {
  TPeVersionInfo info = BrowserVersionInfo("1.0.0.0", "Big", "Big Inc.");
  info.StringTables[0].Strings.push_back({"Comments", std::string(40000, 'x')});
  EXPECT_THROW(BuildVersionResource(info), std::length_error);
}
