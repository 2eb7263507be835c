#include "helpers/BrowserHelper.h"

#include "formats/BrowserCacheSQLite.h"
#include "formats/TextStoreImage.h"
#include "kit/SQLiteStoreWriter.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::TTextStoreImage;
using Texts = std::vector<std::string>;

namespace {

Texts Hosts(const TCacheList& list) {
  Texts out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i].Host);
  return out;
}

class ChromeHelperTest : public ::testing::Test {
protected:
  ChromeHelperTest() {
    profile.SetLocation(ctHistory, TTextStoreImage::Path("History"));
    profile.SetLocation(ctBookmarks, TTextStoreImage::Path("History"));
    profile.SetLocation(ctCookies, TTextStoreImage::Path("Cookies"));
    kit::WriteChromeCookies(Host("Cookies"),
                            {{13000000000000001, ".a.com", "a", "1", "/", 0, false, false, 0},
                             {13000000000000002, ".b.com", "b", "2", "/p", 0, true, false, 0}});
    kit::WriteChromeHistory(
        Host("History"), {{1, "http://one/", "One", 1, 0}, {2, "http://two/", "Two", 1, 0}},
        {{1, 1, 13000000000000000}, {2, 2, 13000000000000000}, {3, 1, 13000000000000000}},
        // a folder row (no url) the bookmark list does not show
        {{1, 1, "Folder", 0, 0, 0, 0}, {2, 0, "One", 1, 0, 1, 0}, {3, 0, "Two", 1, 0, 2, 0}});
  }

  static std::string Host(const std::string& name) {
    return winapi::HostPath(TTextStoreImage::Path(name));
  }
  static std::int64_t RowCount(const std::string& table) {
    TSQLiteDatabase db(Host("History"), TSQLiteOpenMode::ReadOnly);
    auto t = db.GetTable("SELECT COUNT(*) FROM " + table);
    return t->ColumnInt64(0);
  }

  TTextStoreImage image;
  TProfileStores profile;
  TBrowserHelperChrome chrome;
};

THelperContext AcceptHosts(Texts hosts, Texts& asked) {
  return {.Rule = [hosts = std::move(hosts), &asked](TCacheType, TCacheItem* item,
                                                     std::string offered) {
    asked.push_back(offered);
    const bool remove = item && std::find(hosts.begin(), hosts.end(), item->Host) != hosts.end();
    return TCleanDecision{remove, std::move(offered)};
  }};
}

} // namespace

TEST_F(ChromeHelperTest, RefreshAllReadsBookmarksCookiesAndHistoryOnly) {
  const std::string before = *image.Read("History");
  profile.GetList(ctPages).Add();
  chrome.RefreshAll(profile, {});
  EXPECT_EQ(Hosts(profile.GetList(ctCookies)), (Texts{".a.com", ".b.com"}));
  EXPECT_EQ(Hosts(profile.GetList(ctHistory)),
            (Texts{"http://one/", "http://two/", "http://one/"}));
  EXPECT_EQ(Hosts(profile.GetList(ctBookmarks)), (Texts{"http://one/", "http://two/"}));
  EXPECT_EQ(profile.GetList(ctPages).Count(), 0);
  EXPECT_EQ(profile.GetList(ctCache).Count(), 0);
  EXPECT_EQ(*image.Read("History"), before);
}

// Each operation reports the kinds of the damaged database (history and bookmarks share it) and
// only those.
TEST_F(ChromeHelperTest, ADamagedHistoryIsReportedAndStillLetsTheCookiesBeRead) {
  image.Put("History", "garbage held by a running browser");
  const auto failedKinds = [](const TActionOutcome& outcome, TStoreAccess access) {
    Texts kinds;
    for (const TCacheType kind : {ctCookies, ctHistory, ctBookmarks})
      if (outcome.Failed(access, kind))
        kinds.emplace_back(KindText(kind));
    return kinds;
  };
  const Texts damaged = {"history", "bookmarks"};
  EXPECT_EQ(failedKinds(chrome.RefreshAll(profile, {}), TStoreAccess::Read), damaged);
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 0);
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 0);
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 2);
  Texts asked;
  EXPECT_EQ(failedKinds(chrome.Clean(profile, AcceptHosts({".a.com"}, asked), kAllCacheKinds),
                        TStoreAccess::Change),
            damaged);
  // A purge that could not empty the store leaves the list showing what is still there.
  profile.GetList(ctHistory).Add().Host = "http://still/";
  EXPECT_EQ(failedKinds(chrome.Purge(profile, {}, kAllCacheKinds), TStoreAccess::Change), damaged);
  EXPECT_EQ(*image.Read("History"), "garbage held by a running browser");
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 1);
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 0);
  EXPECT_FALSE(image.Read("Cookies").has_value());
}

TEST_F(ChromeHelperTest, CleanDeletesTheAcceptedRowsAndTheListWaitsForTheReload) {
  chrome.RefreshAll(profile, {});
  Texts asked;
  chrome.Clean(profile, {}, kAllCacheKinds);
  chrome.Clean(profile, AcceptHosts({".a.com"}, asked), {ctCache, ctPages});
  EXPECT_TRUE(asked.empty());

  chrome.Clean(profile, AcceptHosts({".b.com", "http://two/"}, asked), kAllCacheKinds);
  // Bookmarks, cookies, history, each last to first, with Host followed by Path.
  EXPECT_EQ(asked, (Texts{"http://two/", "http://one/", ".b.com/p", ".a.com/", "http://one/",
                          "http://two/", "http://one/"}));
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 2);
  EXPECT_TRUE(profile.GetList(ctCookies)[1].ToBeDeleted);

  chrome.RefreshAll(profile, {});
  EXPECT_EQ(Hosts(profile.GetList(ctCookies)), (Texts{".a.com"}));
  EXPECT_EQ(Hosts(profile.GetList(ctHistory)), (Texts{"http://one/", "http://one/"}));
  EXPECT_EQ(Hosts(profile.GetList(ctBookmarks)), (Texts{"http://one/"}));
}

TEST_F(ChromeHelperTest, PurgeDeletesTheCookieFileAndEmptiesVisitsStarredAndUrls) {
  chrome.RefreshAll(profile, {});
  chrome.Purge(profile, {}, TCacheKinds{ctCache, ctPages} | TCacheKinds::FromBits(32));
  EXPECT_EQ(image.Files(), (Texts{"Cookies", "History"}));
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 2);

  chrome.Purge(profile, {}, kAllCacheKinds);
  EXPECT_EQ(image.Files(), Texts{"History"});
  EXPECT_EQ(RowCount("visits"), 0);
  EXPECT_EQ(RowCount("starred"), 0); // the folder row as well
  EXPECT_EQ(RowCount("urls"), 0);    // no bookmark is left to keep an address
  for (const TCacheType kind : {ctCookies, ctHistory, ctBookmarks})
    EXPECT_EQ(profile.GetList(kind).Count(), 0);
}
