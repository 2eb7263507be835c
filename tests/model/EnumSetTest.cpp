#include "model/ProfileStores.h"

#include <gtest/gtest.h>

#include <vector>

using namespace quillon;

namespace {

std::vector<TCacheType> Members(TCacheKinds kinds) {
  std::vector<TCacheType> out;
  kinds.ForEach([&out](TCacheType kind) { out.push_back(kind); });
  return out;
}

} // namespace

// The number form is what the command line and stored settings carry: bit n for ordinal n, and
// bits that stand for no kind dropped on the way in.
TEST(TCacheKinds, BitNStandsForOrdinalNAndOtherBitsMeanNothing) {
  using V = std::vector<TCacheType>;
  struct TCase {
    unsigned bits;
    V members;
  };
  const std::vector<TCase> cases = {
      {0, {}},
      {32, {}},
      {64 | 128, {}},
      {2, {ctCookies}},
      {8 | 16, {ctPages, ctBookmarks}},
      {31, {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks}},
      {255, {ctCache, ctCookies, ctHistory, ctPages, ctBookmarks}},
  };
  for (const TCase& c : cases) {
    const TCacheKinds kinds = TCacheKinds::FromBits(c.bits);
    EXPECT_EQ(Members(kinds), c.members) << c.bits;
    EXPECT_EQ(kinds.ToBits(), c.bits & 31u) << c.bits;
    EXPECT_FALSE(kinds.Contains(static_cast<TCacheType>(5))) << c.bits;
  }
  EXPECT_EQ(kAllCacheKinds, TCacheKinds::FromBits(255));
  EXPECT_EQ((TCacheKinds{ctHistory, ctCookies}), TCacheKinds::FromBits(6));
}

TEST(TCacheKinds, SetOperationsKeepToTheirMembers) {
  const TCacheKinds a{ctCache, ctCookies, ctHistory};
  const TCacheKinds b{ctHistory, ctBookmarks};
  EXPECT_EQ(a | b, (TCacheKinds{ctCache, ctCookies, ctHistory, ctBookmarks}));
  EXPECT_EQ(a & b, TCacheKinds{ctHistory});
  EXPECT_EQ(a - b, (TCacheKinds{ctCache, ctCookies}));
  EXPECT_TRUE(a.Intersects(b));
  EXPECT_FALSE((a - b).Intersects(b));
  EXPECT_TRUE(TCacheKinds{}.Empty());
}
