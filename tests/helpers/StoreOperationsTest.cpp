#include "helpers/StoreOperations.h"

#include "discovery/BrowserManager.h"

#include <gtest/gtest.h>

using namespace quillon;

TEST(ClearProfileLists, EmptiesAllFiveListsAndKeepsTheLocations) {
  TBrowserProfile p;
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    p.SetLocation(kind, "C:\\store" + std::to_string(k));
    p.GetList(kind).Add();
  }
  ClearProfileLists(p);
  for (int k = 0; k < kCacheTypeCount; ++k) {
    const auto kind = static_cast<TCacheType>(k);
    EXPECT_EQ(p.GetList(kind).Count(), 0) << k;
    EXPECT_EQ(p.GetLocation(kind), "C:\\store" + std::to_string(k));
  }
}
