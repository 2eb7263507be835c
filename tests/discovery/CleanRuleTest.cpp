#include "discovery/CleanRule.h"

#include <gtest/gtest.h>

#include <string>

using namespace quillon;

namespace {

struct TRuleCase {
  TCacheType typ;
  const char* host;
  bool removed;
};

// What the rule answers for an entry with this host; doclean comes in as true to show that the
// rule always decides afresh.
bool Decide(TCacheType typ, TCacheItem* item) {
  TBrowserProfile profile;
  bool doclean = true;
  std::string newcontent = "unchanged";
  ValidateCacheEntry(profile, typ, item, doclean, newcontent);
  EXPECT_EQ(newcontent, "unchanged");
  return doclean;
}

} // namespace

TEST(ValidateCacheEntry, RemovesAdvertisingCookiesAdBookmarksAndEveryCacheEntry) {
  const TRuleCase cases[] = {
      {ctCookies, ".advertising.com", true},
      {ctCookies, "ads.mediaplex.com", true},
      {ctCookies, "www.example.org", false},
      // Case-sensitive: the words are looked for as they stand.
      {ctCookies, "Advertising.com", false},
      {ctCookies, "MEDIAPLEX.com", false},
      // The bookmark domains do not make a cookie an advertising cookie, nor the reverse.
      {ctCookies, "ad.doubleclick.net", false},
      {ctBookmarks, "http://ad.doubleclick.net/click", true},
      {ctBookmarks, "http://view.atdmt.com/x", true},
      {ctBookmarks, "http://www.advertising.com/", false},
      {ctBookmarks, "http://ad.DoubleClick.net/", false},
      {ctCache, "www.example.org", true},
      {ctCache, "", true},
      // History and start pages are never cleaned by this rule.
      {ctHistory, "www.advertising.com", false},
      {ctPages, "http://ad.doubleclick.net/", false},
  };
  for (const TRuleCase& c : cases) {
    TCacheItem item;
    item.Host = c.host;
    EXPECT_EQ(Decide(c.typ, &item), c.removed) << "kind " << int(c.typ) << " host " << c.host;
  }
}

TEST(ValidateCacheEntry, LooksOnlyAtTheHostSoInternetExplorerCookiesStay) {
  // Internet Explorer cookie entries carry their whole key in Path and leave Host empty.
  TCacheItem item;
  item.Path = "Cookie:alice@advertising.com/";
  item.Name = "mediaplex";
  EXPECT_FALSE(Decide(ctCookies, &item));
}

TEST(ValidateCacheEntry, WithoutAnEntryOnlyTheCacheRuleApplies) {
  EXPECT_TRUE(Decide(ctCache, nullptr));
  EXPECT_FALSE(Decide(ctCookies, nullptr));
  EXPECT_FALSE(Decide(ctBookmarks, nullptr));
  EXPECT_FALSE(Decide(ctHistory, nullptr));
}
