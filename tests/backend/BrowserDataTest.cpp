// End to end against the system under test: a Firefox 3 profile and a Chrome profile below the
// current user's application data and Internet Explorer's entries in the user's URL cache are
// found by discovery, shown, cleaned by a rule and purged; a second discovery then reads what
// the stores hold.

#include "backend/SystemFixture.h"
#include "discovery/BrowserManager.h"
#include "kit/MozillaTextStores.h"
#include "kit/SQLiteStoreWriter.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::test {
namespace {

using namespace winapi;

using BrowserDataTest = SystemTest;

// Every store holds entries of two hosts; the rule removes the "drop" ones.
constexpr const char* kKeep = "keep.quillon.test";
constexpr const char* kDrop = "drop.quillon.test";

constexpr std::int64_t kUnix2011 = 1298980800;                                // 2011-03-01 UTC
constexpr std::int64_t kChrome2011 = (kUnix2011 + 11644473600LL) * 1000000LL; // since 1601, µs

std::string HostOf(int i) {
  return i % 2 == 0 ? kKeep : kDrop;
}

void MakeFirefoxProfile(const std::string& appData) {
  const std::string firefox = appData + "\\Mozilla\\Firefox";
  const std::string profile = firefox + "\\Profiles\\qtest.default";
  EXPECT_TRUE(WriteWholeFile(firefox + "\\profiles.ini",
                             "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\n"
                             "Name=default\r\nIsRelative=1\r\nPath=Profiles/qtest.default\r\n"));
  EXPECT_TRUE(WriteWholeFile(
      profile + "\\prefs.js",
      kit::BuildPrefsJs({{"browser.startup.homepage", "http://www.keep.quillon.test/"}})));
  std::vector<kit::TFirefoxCookieRow> cookies;
  std::vector<kit::TFirefoxPlaceRow> places;
  std::vector<kit::TFirefoxVisitRow> visits;
  std::vector<kit::TFirefoxBookmarkRow> bookmarks = {{1, 2, std::nullopt, 0, 0, "Menu", kUnix2011}};
  for (int i = 0; i < 4; ++i) {
    cookies.push_back({i + 1, "c" + std::to_string(i), "v", "." + HostOf(i), "/",
                       kUnix2011 + 86400 * 365, (kUnix2011 + i) * 1000000, false, false});
    places.push_back({i + 1, "http://" + HostOf(i) + "/page" + std::to_string(i), "Page", 1});
    visits.push_back({i + 1, i + 1, (kUnix2011 + i) * 1000000});
    bookmarks.push_back({i + 2, 1, i + 1, 1, i, "Page", (kUnix2011 + i) * 1000000});
  }
  kit::WriteFirefox3Cookies(HostPath(profile + "\\cookies.sqlite"), cookies);
  kit::WriteFirefox3Places(HostPath(profile + "\\places.sqlite"), places, bookmarks, visits);
}

void MakeChromeProfile(const std::string& localAppData) {
  const std::string userData = localAppData + "\\Google\\Chrome\\User Data";
  EXPECT_TRUE(WriteWholeFile(userData + "\\Local State", "{}"));
  std::vector<kit::TChromeCookieRow> cookies;
  std::vector<kit::TChromeUrlRow> urls;
  std::vector<kit::TChromeVisitRow> visits;
  for (int i = 0; i < 4; ++i) {
    cookies.push_back({kChrome2011 + i, HostOf(i), "c" + std::to_string(i), "v", "/",
                       kChrome2011 + 86400LL * 365 * 1000000, false, false, kChrome2011 + i});
    urls.push_back(
        {i + 1, "http://" + HostOf(i) + "/page" + std::to_string(i), "Page", 1, kChrome2011 + i});
    visits.push_back({i + 1, i + 1, kChrome2011 + i});
  }
  kit::WriteChromeCookies(HostPath(userData + "\\Default\\Cookies"), cookies);
  kit::WriteChromeHistory(HostPath(userData + "\\Default\\History"), urls, visits);
}

std::vector<TUrlCacheSeed> InternetExplorerEntries(const std::string& user) {
  std::vector<TUrlCacheSeed> seeds;
  for (int i = 0; i < 4; ++i) {
    const std::string page = "http://www." + HostOf(i) + "/page" + std::to_string(i);
    seeds.push_back({page, NORMAL_CACHE_ENTRY, "<html>" + std::to_string(i) + "</html>"});
    seeds.push_back({"Cookie:" + user + "@" + HostOf(i) + "/p" + std::to_string(i),
                     NORMAL_CACHE_ENTRY | COOKIE_CACHE_ENTRY, "c\nv\n" + HostOf(i) + "/\n"});
    seeds.push_back(
        {"Visited: " + user + "@" + page, NORMAL_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY, ""});
  }
  return seeds;
}

bool Mentions(const TCacheItem& item, std::string_view host) {
  for (const std::string_view text :
       {item.Host.view(), item.Path.view(), item.Content.view(), item.Name.view()})
    if (text.find(host) != std::string_view::npos)
      return true;
  return false;
}

// How many entries of the list belong to the kept host and to the dropped one.
std::pair<int, int> Counts(const TCacheList& list) {
  std::pair<int, int> counts{0, 0};
  for (int i = 0; i < list.Count(); ++i) {
    counts.first += Mentions(list[i], kKeep);
    counts.second += Mentions(list[i], kDrop);
  }
  return counts;
}

// The profile of the type whose location holds part; an empty part asks for the running user's
// own Internet Explorer profile, which has no location.
TBrowserProfile* Find(TBrowserManager& manager, TBrowserType type, std::string_view part) {
  for (int i = 0; i < manager.Profiles().Count(); ++i) {
    TBrowserProfile& p = manager.Profiles().Items(i);
    if (p.BrowserType() == type &&
        (part.empty() ? p.ProfileLocation.empty()
                      : p.ProfileLocation.find(part) != std::string::npos))
      return &p;
  }
  return nullptr;
}

TEST_F(BrowserDataTest, DiscoveryShowsCleanRemovesWhatTheRuleAcceptsPurgeRemovesTheKind) {
  std::string user;
  ASSERT_TRUE(GetUserName(user));
  const std::string appData = Folder(CSIDL_APPDATA);
  const std::string localAppData = Folder(CSIDL_LOCAL_APPDATA);
  MakeFolder(appData + "\\Mozilla\\Firefox\\Profiles\\qtest.default");
  MakeFolder(localAppData + "\\Google\\Chrome\\User Data\\Default");
  MakeFirefoxProfile(appData);
  MakeChromeProfile(localAppData);
  AddUrlCacheEntries(InternetExplorerEntries(user));

  const struct {
    TBrowserType type;
    const char* location;
    TCacheKinds cleaned; // each store holds two entries of each host
    TCacheType purged;
  } cases[] = {
      // Firefox 3's history is not read; its bookmarks are in places.sqlite. Without
      // cookies.sqlite a profile is taken for Firefox 2's.
      {bFirefox, "\\qtest.default\\", {ctCookies, ctBookmarks}, ctBookmarks},
      {bChrome, "\\Google\\Chrome\\", {ctCookies, ctHistory}, ctCookies},
      {bInternetExplorer, "", {ctCache, ctCookies, ctHistory}, ctCookies},
  };
  {
    TBrowserManager manager;
    manager.SetOnValidateCacheEntry(
        [](TBrowserProfile&, TCacheType, TCacheItem* item, bool& doclean, std::string&) {
          doclean = item != nullptr && Mentions(*item, kDrop);
        });
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << "browser type " << int(c.type));
      TBrowserProfile* profile = Find(manager, c.type, c.location);
      ASSERT_NE(profile, nullptr);
      c.cleaned.ForEach([&](TCacheType kind) {
        EXPECT_EQ(Counts(profile->GetList(kind)), std::make_pair(2, 2))
            << "shown, kind " << int(kind);
      });
      EXPECT_FALSE(profile->Clean(c.cleaned).Failed(TStoreAccess::Change));
      EXPECT_FALSE(profile->Refresh().Failed(TStoreAccess::Read));
      c.cleaned.ForEach([&](TCacheType kind) {
        EXPECT_EQ(Counts(profile->GetList(kind)), std::make_pair(2, 0))
            << "cleaned, kind " << int(kind);
      });
      EXPECT_FALSE(profile->Purge({c.purged}).Failed(TStoreAccess::Change));
    }
  }
  // A new discovery reads the stores afresh.
  TBrowserManager manager;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "browser type " << int(c.type));
    TBrowserProfile* profile = Find(manager, c.type, c.location);
    ASSERT_NE(profile, nullptr);
    c.cleaned.ForEach([&](TCacheType kind) {
      EXPECT_EQ(Counts(profile->GetList(kind)),
                kind == c.purged ? std::make_pair(0, 0) : std::make_pair(2, 0))
          << "afterwards, kind " << int(kind);
    });
  }
}

} // namespace
} // namespace quillon::test
