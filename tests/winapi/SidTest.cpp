#include "winapi/WinApi.h"

#include <gtest/gtest.h>

using namespace quillon::winapi;

TEST(SidConversion, RoundTripsUserAndWellKnownSids) {
  for (const std::string text :
       {"S-1-5-18", "S-1-5-21-3623811015-3361044348-30300820-1013", "S-1-1-0", "S-1-5-32-544"}) {
    SID sid;
    ASSERT_TRUE(ConvertStringSidToSid(text, sid)) << text;
    std::string back;
    ASSERT_TRUE(ConvertSidToStringSid(sid, back));
    EXPECT_EQ(back, text);
  }
}

TEST(SidConversion, RejectsMalformedText) {
  SID sid;
  for (const std::string text :
       {"", "S-1", "S-2-5-18", "X-1-5-18", "S-1-5-abc", "S-1-5-4294967296"})
    EXPECT_FALSE(ConvertStringSidToSid(text, sid)) << text;
}

TEST(SidConversion, RejectsTruncatedBinarySid) {
  SID sid;
  ASSERT_TRUE(ConvertStringSidToSid("S-1-5-21-1-2-3", sid));
  sid.pop_back();
  std::string text;
  EXPECT_FALSE(ConvertSidToStringSid(sid, text));
}

TEST(FileTimeToDosDateTime, CoversTheDosRange) {
  WORD d = 0, t = 0;
  // 1980-01-01 00:00:00 UTC
  EXPECT_TRUE(FileTimeToDosDateTime(U64ToFileTime(119600064000000000ull), d, t));
  EXPECT_EQ(d, (1 << 5) | 1);
  EXPECT_EQ(t, 0);
  // 1979-12-31 23:59:59
  EXPECT_FALSE(FileTimeToDosDateTime(U64ToFileTime(119600064000000000ull - 10000000ull), d, t));
}
