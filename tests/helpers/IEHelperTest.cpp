// The Internet Explorer helpers on an image: the URL cache (an in-memory cache standing in for
// the session user's index.dat files), start pages in both registry views and another user's
// hive, and favourites in the favourites folder.

#include "helpers/BrowserHelper.h"
#include "helpers/IEStoreOperations.h"
#include "kit/FileHolder.h"
#include "model/DateUtils.h"
#include "platform/PlatformImage.h"
#include "platform/Registry.h"
#include "winapi/FakeUrlCache.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <fcntl.h>
#include <sys/stat.h>

using namespace quillon;
using namespace quillon::winapi;

namespace {

namespace fs = std::filesystem;

const std::string kAliceCache =
    "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files\\";
const std::string kAliceCookies =
    "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Cookies\\";
const std::string kAliceFavorites = "C:\\Users\\alice\\Favorites";

TCacheKinds Kinds(std::initializer_list<TCacheType> kinds) {
  return TCacheKinds(kinds);
}

// alice's image with a URL cache in memory in place of her index.dat files.
class IEHelperTest : public ::testing::Test {
protected:
  IEHelperTest() {
    image.Install();
    cache = std::make_shared<test::TFakeUrlCache>(image.backend->lastError);
    image.backend->urlCache = cache;
    profile.SetLocation(ctCache, kAliceCache);
    profile.SetLocation(ctCookies, kAliceCookies);
    profile.SetLocation(ctBookmarks, kAliceFavorites);
  }

  void AddEntry(const std::string& url, DWORD type, const std::string& file = {}) {
    TUrlCacheEntryData e;
    e.SourceUrl = url;
    e.EntryType = type;
    e.LocalFile = file;
    e.Expire = U64ToFileTime(129000000000000000ull);
    e.LastAccess = U64ToFileTime(129100000000000000ull);
    cache->Entries.push_back(e);
  }
  void PutFile(const std::string& windowsPath, const std::string& content = "x") {
    const fs::path host = image.builder->HostPathOf(windowsPath);
    fs::create_directories(host.parent_path());
    std::ofstream(host, std::ios::binary) << content;
  }
  bool Exists(const std::string& windowsPath) const {
    return fs::exists(image.builder->HostPathOf(windowsPath));
  }
  static std::vector<std::string> Paths(const TCacheList& list) {
    std::vector<std::string> paths;
    for (int i = 0; i < list.Count(); ++i)
      paths.push_back(list[i].Path);
    return paths;
  }
  TBrowserHelperCustom& Current() { return BrowserHelper(THelperKind::IECurrent); }
  TBrowserHelperCustom& Registry() { return BrowserHelper(THelperKind::IERegistry); }

  test::TPlatformImage image;
  std::shared_ptr<test::TFakeUrlCache> cache;
  TProfileStores profile;
};

// --- The URL cache ---

TEST_F(IEHelperTest, OneWalkSortsEveryEntryIntoItsKind) {
  AddEntry("http://a/1.gif", NORMAL_CACHE_ENTRY, kAliceCache + "Content.IE5\\AB\\1[1].gif");
  AddEntry("Cookie:alice@ads.example/", COOKIE_CACHE_ENTRY | NORMAL_CACHE_ENTRY);
  AddEntry("Visited: alice@http://h/", URLHISTORY_CACHE_ENTRY);
  // Both flags: the cookie flag wins.
  AddEntry("Cookie:alice@both/", COOKIE_CACHE_ENTRY | URLHISTORY_CACHE_ENTRY);
  AddEntry("http://b/", STICKY_CACHE_ENTRY);

  const TActionOutcome read = Current().RefreshAll(profile, {});
  EXPECT_EQ(cache->Walks, 1);
  EXPECT_FALSE(read.Failed(TStoreAccess::Read));
  EXPECT_EQ(Paths(profile.GetList(ctCache)),
            (std::vector<std::string>{"http://a/1.gif", "http://b/"}));
  EXPECT_EQ(Paths(profile.GetList(ctCookies)),
            (std::vector<std::string>{"Cookie:alice@ads.example/", "Cookie:alice@both/"}));
  EXPECT_EQ(Paths(profile.GetList(ctHistory)),
            std::vector<std::string>{"Visited: alice@http://h/"});
  const TCacheItem& first = profile.GetList(ctCache)[0];
  EXPECT_EQ(first.CacheFile, kAliceCache + "Content.IE5\\AB\\1[1].gif");
  EXPECT_EQ(first.Expires, FileTimeToDateTime(U64ToFileTime(129000000000000000ull)));
  EXPECT_EQ(first.LastAccess, FileTimeToDateTime(U64ToFileTime(129100000000000000ull)));

  // A refresh of one kind reads it afresh and leaves the other lists alone.
  cache->Entries.erase(cache->Entries.begin() + 1);
  Current().Refresh(profile, {}, ctCookies);
  EXPECT_EQ(cache->Walks, 2);
  EXPECT_EQ(Paths(profile.GetList(ctCookies)), std::vector<std::string>{"Cookie:alice@both/"});
  EXPECT_EQ(profile.GetList(ctCache).Count(), 2);
}

// Another user's profile, and one merely named like the running user in another letter case,
// never show the running user's URL cache.
TEST_F(IEHelperTest, OnlyTheRunningUsersOwnProfileReadsTheUrlCache) {
  AddEntry("http://a/", NORMAL_CACHE_ENTRY);
  const struct {
    const char* name;
    std::string location;
    std::string profileName;
    bool lists;
  } cases[] = {
      {"own profile", "", "alice", true},
      {"name in another case", "", "Alice", false},
      {"another user's hive", test::kImageBobSid, "alice", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    profile.ProfileLocation = c.location;
    THelperContext context;
    context.ProfileName = c.profileName;
    Registry().RefreshAll(profile, context);
    EXPECT_EQ(profile.GetList(ctCache).Count(), c.lists ? 1 : 0);
  }
  // The running user's helper does not clean another user's profile through the cache either.
  profile.ProfileLocation = test::kImageBobSid;
  Current().Purge(profile, {}, kAllCacheKinds);
  Registry().Purge(profile, {}, kAllCacheKinds);
  EXPECT_TRUE(cache->Deleted.empty());
}

TEST_F(IEHelperTest, CleanAsksAboutTheListedEntryAndRemovesWhatTheRuleAccepts) {
  const std::string gif = kAliceCache + "Content.IE5\\AB\\1[1].gif";
  const std::string kept = kAliceCache + "Content.IE5\\AB\\2[1].gif";
  const std::string cookie = kAliceCookies + "alice@ads[1].txt";
  const std::string outside = "C:\\Users\\alice\\Documents\\letter.doc";
  for (const std::string& file : {gif, kept, cookie, outside})
    PutFile(file);
  AddEntry("http://a/1.gif", NORMAL_CACHE_ENTRY, gif);
  AddEntry("http://a/2.gif", NORMAL_CACHE_ENTRY, kept);
  AddEntry("Cookie:alice@ads/", COOKIE_CACHE_ENTRY, cookie);
  AddEntry("Visited: alice@http://h/", URLHISTORY_CACHE_ENTRY);
  // A forged record whose file lies outside the cache folders.
  AddEntry("http://evil/", NORMAL_CACHE_ENTRY,
           kAliceCache + "..\\..\\..\\..\\Documents\\letter.doc");
  ListUrlCache(profile);
  // An entry the list does not show (it came after the last read).
  AddEntry("http://late/", NORMAL_CACHE_ENTRY);

  std::vector<std::string> asked;
  THelperContext context;
  context.Rule = [&](TCacheType kind, TCacheItem* item, std::string offered) {
    const bool listed =
        item != nullptr && &profile.GetList(kind)[item->Index()] == item && item->Path == offered;
    asked.push_back(std::string(KindText(kind)) + " " + offered + (listed ? "" : " (not listed)"));
    return TCleanDecision{offered != "http://a/2.gif", offered};
  };
  const TActionOutcome outcome = Current().Clean(profile, context, Kinds({ctCache, ctCookies}));

  EXPECT_EQ(asked, (std::vector<std::string>{"cache http://a/1.gif", "cache http://a/2.gif",
                                             "cookies Cookie:alice@ads/", "cache http://evil/",
                                             "cache http://late/ (not listed)"}));
  const std::vector<std::string> removed = {"http://a/1.gif", "Cookie:alice@ads/", "http://evil/",
                                            "http://late/"};
  EXPECT_EQ(cache->Deleted, removed);
  EXPECT_EQ(cache->Unlocked, removed);
  EXPECT_FALSE(Exists(gif));
  EXPECT_FALSE(Exists(cookie));
  EXPECT_TRUE(Exists(kept));
  EXPECT_TRUE(Exists(outside));
  EXPECT_NE(outcome.Of(TStoreAccess::Change, ctCache).Reason.find("outside the cache folders"),
            std::string::npos);
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Change, ctCookies));
  EXPECT_EQ(outcome.Of(TStoreAccess::Change, ctHistory).Result, TKindResult::NotAsked);
  // The lists wait for the next read.
  EXPECT_EQ(profile.GetList(ctCache).Count(), 3);

  // Without a rule a clean asks nothing and removes nothing.
  cache->Deleted.clear();
  Current().Clean(profile, {}, kAllCacheKinds);
  EXPECT_TRUE(cache->Deleted.empty());
}

TEST_F(IEHelperTest, PurgeRemovesEveryEntryOfTheKindsAskedOnly) {
  const struct {
    TCacheKinds kinds;
    std::vector<std::string> deleted;
  } cases[] = {
      {Kinds({ctCookies}), {"Cookie:c/"}},
      {Kinds({ctCache, ctHistory}), {"http://a/", "Visited: h", "http://b/"}},
      {Kinds({ctPages, ctBookmarks}), {}},
  };
  const std::string file = kAliceCache + "Content.IE5\\AB\\a[1].htm";
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.kinds.ToBits()));
    cache->Entries.clear();
    cache->Deleted.clear();
    PutFile(file);
    AddEntry("http://a/", NORMAL_CACHE_ENTRY, file);
    AddEntry("Cookie:c/", COOKIE_CACHE_ENTRY);
    AddEntry("Visited: h", URLHISTORY_CACHE_ENTRY);
    AddEntry("http://b/", NORMAL_CACHE_ENTRY);
    ListUrlCache(profile);
    Current().Purge(profile, {}, c.kinds);
    EXPECT_EQ(cache->Deleted, c.deleted);
    // The purged kinds' lists are empty at once; the cache removes the files itself.
    for (const TCacheType kind : {ctCache, ctCookies, ctHistory})
      EXPECT_EQ(profile.GetList(kind).Count() == 0, c.kinds.Contains(kind)) << kind;
    EXPECT_TRUE(Exists(file));
  }
}

// Whatever the cache reports goes into the outcome with a reason, per kind asked.
TEST_F(IEHelperTest, CacheFailuresReachTheOutcomeWithTheirReason) {
  const struct {
    const char* name;
    THelperOperation operation;
    DWORD deleteError, walkError, closeError;
    std::string reason;
  } cases[] = {
      {"damaged index.dat while listing", THelperOperation::Read, 0, 1392, 0,
       "the URL cache cannot be read ("},
      {"entry cannot be deleted", THelperOperation::Purge, ERROR_ACCESS_DENIED, 0, 0,
       "2 entries could not be removed, the first: http://a/ could not be removed from the URL "
       "cache ("},
      {"walk ends with an error", THelperOperation::Purge, 0, ERROR_ACCESS_DENIED, 0,
       "the URL cache is read-only or may not be changed ("},
      {"deletions not written when the walk closes", THelperOperation::Clean, 0, 0,
       ERROR_SHARING_VIOLATION, "the URL cache is in use by another program ("},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    cache->Entries.clear();
    AddEntry("http://a/", NORMAL_CACHE_ENTRY);
    AddEntry("http://b/", NORMAL_CACHE_ENTRY);
    cache->DeleteError = c.deleteError;
    cache->WalkError = c.walkError;
    cache->CloseError = c.closeError;
    THelperContext context;
    context.Rule = [](TCacheType, TCacheItem*, std::string s) { return TCleanDecision{true, s}; };
    TActionOutcome outcome;
    switch (c.operation) {
    case THelperOperation::Read:
      outcome = Current().RefreshAll(profile, context);
      break;
    case THelperOperation::Clean:
      outcome = Current().Clean(profile, context, Kinds({ctCache}));
      break;
    case THelperOperation::Purge:
      outcome = Current().Purge(profile, context, Kinds({ctCache}));
      break;
    }
    const TStoreAccess access =
        c.operation == THelperOperation::Read ? TStoreAccess::Read : TStoreAccess::Change;
    EXPECT_EQ(outcome.Of(access, ctCache).Reason.rfind(c.reason, 0), 0u)
        << outcome.Of(access, ctCache).Reason;
    // A damaged cache cannot be read for any of its kinds; a change fails only the kinds asked.
    EXPECT_EQ(outcome.Failed(access, ctCookies), c.operation == THelperOperation::Read);
    EXPECT_FALSE(outcome.Failed(access, ctPages));
  }
}

// --- Start pages ---

const std::string kMain = "Software\\Microsoft\\Internet Explorer\\Main";
const std::vector<std::string> kLocations = {
    "S HKCU\\" + kMain + "\\Start Page", "F HKLM\\" + kMain + "\\Search Page",
    "F HKCU\\Software\\Microsoft\\Internet Explorer\\SearchURL\\@", "S HKXX\\Nowhere\\Page",
    "S HKCU\\" + kMain + "\\Missing"};

class IEPagesTest : public IEHelperTest {
protected:
  IEPagesTest() {
    image.builder->UserHive("alice").SetString(kMain, "Start Page", "http://alice/");
    image.builder->UserHive("alice").SetString("Software\\Microsoft\\Internet Explorer\\SearchURL",
                                               "", "http://search/");
    image.builder->UserHive("bob").SetString(kMain, "Start Page", "http://bob/");
    image.builder->Software().SetString("Microsoft\\Internet Explorer\\Main", "Search Page",
                                        "http://machine64/");
    image.builder->Software().SetString("Wow6432Node\\Microsoft\\Internet Explorer\\Main",
                                        "Search Page", "http://machine32/");
    image.Install();
    image.backend->urlCache = cache;
    context.IEPageLocations = kLocations;
  }
  // Content, Path, Name, Tag, view: one line per page.
  std::vector<std::string> Pages() const {
    std::vector<std::string> lines;
    const TCacheList& pages = profile.GetList(ctPages);
    for (int i = 0; i < pages.Count(); ++i)
      lines.push_back(pages[i].Content + " | " + pages[i].Path + " | " + pages[i].Name + " | " +
                      std::to_string(static_cast<std::uint32_t>(pages[i].Tag)) + " | " +
                      std::to_string(pages[i].AccessBits));
    return lines;
  }
  static std::string Read(HKEY root, const std::string& key, const std::string& name, int view) {
    std::string text;
    RegReadString(root, key, name, view, text);
    return text;
  }

  THelperContext context;
};

const std::string kHKCU = std::to_string(HKEY_CURRENT_USER);
const std::string kHKLM = std::to_string(HKEY_LOCAL_MACHINE);
const std::string kHKU = std::to_string(HKEY_USERS);

TEST_F(IEPagesTest, RunningUserReadsBothViewsAndAnotherUserHisOwnHiveOnce) {
  Current().Refresh(profile, context, ctPages);
  const std::string main = kMain + "\\";
  const std::string search = "Software\\Microsoft\\Internet Explorer\\SearchURL\\";
  EXPECT_EQ(Pages(), (std::vector<std::string>{
                         "http://alice/ | " + main + " | Start Page | " + kHKCU + " | 32",
                         "http://alice/ | " + main + " | Start Page | " + kHKCU + " | 64",
                         "http://machine32/ | " + main + " | Search Page | " + kHKLM + " | 32",
                         "http://machine64/ | " + main + " | Search Page | " + kHKLM + " | 64",
                         "http://search/ | " + search + " |  | " + kHKCU + " | 32",
                         "http://search/ | " + search + " |  | " + kHKCU + " | 64"}));
  EXPECT_EQ(profile.GetList(ctPages)[0].Plaintext, "HKCU\\" + kMain + "\\Start Page");

  profile.ProfileLocation = test::kImageBobSid;
  Registry().RefreshAll(profile, context);
  const std::string bob = test::kImageBobSid + "\\" + main;
  EXPECT_EQ(Pages(), (std::vector<std::string>{
                         "http://bob/ | " + bob + " | Start Page | " + kHKU + " | 32",
                         "http://machine32/ | " + main + " | Search Page | " + kHKLM + " | 32",
                         "http://machine64/ | " + main + " | Search Page | " + kHKLM + " | 64"}));

  context.IEPageLocations = {};
  Current().Refresh(profile, context, ctPages);
  EXPECT_TRUE(Pages().empty());
}

TEST_F(IEPagesTest, CleanWritesTheRulesValueThroughView32AndResetWritesAboutBlank) {
  Current().Refresh(profile, context, ctPages);
  // Only the machine's page read through view 64 is changed.
  context.Rule = [](TCacheType, TCacheItem* page, std::string offered) {
    EXPECT_EQ(offered, "about:blank");
    const bool take = page->AccessBits == 64 && page->Content == "http://machine64/";
    return TCleanDecision{take, "http://new/"};
  };
  EXPECT_FALSE(Current().Clean(profile, context, Kinds({ctPages})).Failed(TStoreAccess::Change));
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kMain, "Search Page", 32), "http://new/");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kMain, "Search Page", 64), "http://machine64/");
  EXPECT_EQ(profile.GetList(ctPages)[3].Content, "http://new/");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kMain, "Start Page", 32), "http://alice/");

  profile.ProfileLocation = test::kImageBobSid;
  Registry().Refresh(profile, context, ctPages);
  Registry().Purge(profile, context, Kinds({ctPages}));
  EXPECT_EQ(Read(HKEY_USERS, test::kImageBobSid + "\\" + kMain, "Start Page", 32), "about:blank");
  EXPECT_EQ(Read(HKEY_CURRENT_USER, kMain, "Start Page", 32), "http://alice/");
  EXPECT_EQ(Read(HKEY_LOCAL_MACHINE, kMain, "Search Page", 32), "about:blank");
  for (const std::string& page : Pages())
    EXPECT_EQ(page.rfind("about:blank | ", 0), 0u) << page;
}

// --- Favourites ---

class IEFavoritesTest : public IEHelperTest {
protected:
  void PutFavorite(const std::string& relative, const std::string& url) {
    PutFile(kAliceFavorites + relative, "[InternetShortcut]\r\nURL=" + url + "\r\n");
  }
  std::vector<std::string> Favorites() const {
    std::vector<std::string> lines;
    const TCacheList& list = profile.GetList(ctBookmarks);
    for (int i = 0; i < list.Count(); ++i)
      lines.push_back(list[i].Path + "|" + list[i].Name + "|" + list[i].Host);
    return lines;
  }
};

TEST_F(IEFavoritesTest, FilesOfAFolderComeSortedBeforeItsSubfoldersDepthFirst) {
  PutFavorite("\\b.url", "http://b/");
  PutFavorite("\\A.url", "http://a/");
  PutFavorite("\\notes.txt", "http://not-a-shortcut/");
  PutFavorite("\\Links\\News.url", "http://news/");
  PutFavorite("\\Links\\Deeper\\x.url", "http://x/");
  PutFavorite("\\.hidden\\h.url", "http://h/");
  PutFavorite("\\apps\\z.url", "http://z/");
  PutFile(kAliceFavorites + "\\Broken.url", "no section here");
  // A folder linking back to the favourites folder is not followed.
  fs::create_directory_symlink(image.builder->HostPathOf(kAliceFavorites),
                               image.builder->HostPathOf(kAliceFavorites + "\\Loop"));

  EXPECT_FALSE(Current().Refresh(profile, {}, ctBookmarks).Failed(TStoreAccess::Read));
  EXPECT_EQ(Favorites(),
            (std::vector<std::string>{"|A|http://a/", "|b|http://b/", "|Broken|",
                                      "\\.hidden|h|http://h/", "\\apps|z|http://z/",
                                      "\\Links|News|http://news/", "\\Links\\Deeper|x|http://x/"}));

  // The same with a trailing "\" on the location, and for another user's profile.
  profile.SetLocation(ctBookmarks, kAliceFavorites + "\\");
  profile.ProfileLocation = test::kImageBobSid;
  Registry().RefreshAll(profile, {});
  EXPECT_EQ(Favorites().size(), 7u);
}

TEST_F(IEFavoritesTest, DatesAreTheShortcutsCreationAndLastAccess) {
  PutFavorite("\\News.url", "http://news/");
  // 2010-06-15 12:00 UTC as the last access; the creation is now.
  const timespec times[2] = {{1276603200, 0}, {UTIME_OMIT, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, image.builder->HostPathOf(kAliceFavorites + "\\News.url").c_str(),
                      times, 0),
            0);
  Current().Refresh(profile, {}, ctBookmarks);
  ASSERT_EQ(profile.GetList(ctBookmarks).Count(), 1);
  const TCacheItem& news = profile.GetList(ctBookmarks)[0];
  const std::uint64_t access = (1276603200ull + 11644473600ull) * 10000000ull;
  EXPECT_EQ(news.LastAccess, FileTimeToDateTime(U64ToFileTime(access)));
  EXPECT_GT(news.Expires, news.LastAccess + 365);
}

TEST_F(IEFavoritesTest, FoldersDeeperThanTheCapAreNotReadAndSaySo) {
  std::string deep;
  for (int level = 1; level <= 33; ++level) {
    deep += "\\" + std::to_string(level);
    PutFavorite(deep + "\\f.url", "http://" + std::to_string(level) + "/");
  }
  const TActionOutcome read = Current().Refresh(profile, {}, ctBookmarks);
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 32);
  EXPECT_NE(read.Of(TStoreAccess::Read, ctBookmarks).Reason.find("more than 32 folders deep"),
            std::string::npos);
}

TEST_F(IEFavoritesTest, CleanDeletesAcceptedShortcutsAndKeepsThoseThatCannotGo) {
  for (const char* name : {"\\keep.url", "\\gone.url", "\\held.url", "\\Ads\\ad.url"})
    PutFavorite(name, std::string("http://") + (name + 1) + "/");
  // Another user's location, as discovery sets it, ends in "\".
  profile.ProfileLocation = test::kImageBobSid;
  profile.SetLocation(ctBookmarks, kAliceFavorites + "\\");
  Registry().Refresh(profile, {}, ctBookmarks);
  fs::remove(image.builder->HostPathOf(kAliceFavorites + "\\gone.url"));
  kit::TFileHolder browser(image.builder->HostPathOf(kAliceFavorites + "\\held.url"),
                           kit::TFileHolder::WholeFileLock);
  ASSERT_TRUE(browser.Holds());

  std::vector<std::string> asked;
  THelperContext context;
  context.Rule = [&](TCacheType, TCacheItem* item, std::string offered) {
    asked.push_back(offered);
    return TCleanDecision{item->Name != "keep", offered};
  };
  const TActionOutcome clean = Registry().Clean(profile, context, Kinds({ctBookmarks}));
  // Last to first.
  EXPECT_EQ(asked, (std::vector<std::string>{"http://Ads\\ad.url/", "http://keep.url/",
                                             "http://held.url/", "http://gone.url/"}));
  EXPECT_FALSE(Exists(kAliceFavorites + "\\Ads\\ad.url"));
  EXPECT_TRUE(Exists(kAliceFavorites + "\\held.url"));
  EXPECT_EQ(Favorites(),
            (std::vector<std::string>{"|gone|http://gone.url/", "|held|http://held.url/",
                                      "|keep|http://keep.url/"}));
  EXPECT_NE(clean.Of(TStoreAccess::Change, ctBookmarks).Reason.find("held.url is in use"),
            std::string::npos)
      << clean.Of(TStoreAccess::Change, ctBookmarks).Reason;

  // A purge takes every favourite whose file can go.
  Registry().Purge(profile, {}, Kinds({ctBookmarks}));
  EXPECT_EQ(Favorites(),
            (std::vector<std::string>{"|gone|http://gone.url/", "|held|http://held.url/"}));
}

} // namespace
