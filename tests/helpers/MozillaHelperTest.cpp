#include "helpers/BrowserHelper.h"

#include "discovery/BrowserManager.h"
#include "formats/BrowserCacheSQLite.h"
#include "formats/StoreLimits.h"
#include "formats/TextStoreImage.h"
#include "helpers/MozillaHelperRead.h"
#include "kit/MorkWriter.h"
#include "kit/MozillaTextStores.h"
#include "kit/SQLiteStoreWriter.h"
#include "model/DateUtils.h"
#include "winapi/WinApi.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

using namespace quillon;
using quillon::kit::TBookmarkNode;
using quillon::kit::TCookieTxt;
using quillon::test::TTextStoreImage;
using Texts = std::vector<std::string>;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace {

Texts Field(const TCacheList& list, TItemText TCacheItem::*field) {
  Texts out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i].*field);
  return out;
}

// Accepts the entries whose offered text is listed; records every question.
struct TAcceptTexts {
  Texts accept;
  Texts asked;
  THelperContext Context() {
    return {.Rule = [this](TCacheType, TCacheItem* item, std::string offered) {
      EXPECT_NE(item, nullptr);
      asked.push_back(offered);
      const bool remove = std::find(accept.begin(), accept.end(), offered) != accept.end();
      return TCleanDecision{remove, std::move(offered)};
    }};
  }
};

class MozillaHelperTest : public ::testing::Test {
protected:
  MozillaHelperTest() {
    profile.SetLocation(ctCache, TTextStoreImage::Path("Cache"));
    profile.SetLocation(ctCookies, TTextStoreImage::Path("cookies.txt"));
    profile.SetLocation(ctHistory, TTextStoreImage::Path("history.dat"));
    profile.SetLocation(ctPages, TTextStoreImage::Path("prefs.js"));
    profile.SetLocation(ctBookmarks, TTextStoreImage::Path("bookmarks.html"));
  }

  std::string Host(const std::string& name) {
    return winapi::HostPath(TTextStoreImage::Path(name));
  }

  // A text-generation profile with every store.
  void PutTextStores() {
    image.Put(
        "cookies.txt",
        "# HTTP Cookie File\n"
        "\n" +
            kit::CookiesTxtLine({".Zeta.org", false, "/z", false, 1300000000, "z", "1"}) + "\n" +
            kit::CookiesTxtLine({".Alpha.com", true, "/", true, 1200000000, "a", "v"}) +
            "\n"
            // a value with a blank gives eight fields; an empty value gives six
            ".beta.com\tTRUE\t/\tFALSE\t1\tspaced\tone two\n"
            ".beta.com\tTRUE\t/\tFALSE\t1\tempty\t\n"
            "  .gamma.net  TRUE /g  FALSE notanumber \"quoted \"\"name\"\"\" q\n" +
            kit::CookiesTxtLine({".beta.com", true, "/b", false, 1250000000, "b", "w"}) + "\n");
    image.Put("prefs.js",
              kit::BuildPrefsJs({{"browser.startup.homepage", "http://home/"},
                                 {"kmeleon.general.homePage", "http://km/"},
                                 {"browser.cache.disk.capacity", "5", kit::TPrefKind::Integer}}));
    image.Put(
        "bookmarks.html",
        kit::BuildBookmarksHtml(
            {TBookmarkNode::Bookmark("Top", "http://top/", 1100000000, 0, "rdf:#$1"),
             TBookmarkNode::Folder(
                 "A", {TBookmarkNode::Bookmark("InA", "http://a/", 0, 0, "rdf:#$2"),
                       TBookmarkNode::Folder("B", {TBookmarkNode::Bookmark("InB", "http://b/")}),
                       TBookmarkNode::Bookmark("AfterB", "http://a2/", 0, 1100000500)}),
             TBookmarkNode::Bookmark("Last", "http://last/")}));
    image.Put("history.dat", kit::BuildHistoryDat({{"http://one/x", "One", "one", 1000, 2000},
                                                   {"http://two/", "", "two", 3000, 4000}}));
  }

  TTextStoreImage image;
  TBrowserProfile profile;
  TBrowserHelperNetscape netscape;
  TBrowserHelperMozilla mozilla;
};

} // namespace

TEST_F(MozillaHelperTest, NetscapeRefreshAllReadsCookiesPagesAndBookmarksButNoHistory) {
  PutTextStores();
  netscape.RefreshAll(profile, {});

  const TCacheList& cookies = profile.GetList(ctCookies);
  // Sorted ignoring case; the eight- and six-field lines and the comments are skipped.
  EXPECT_EQ(Field(cookies, &TCacheItem::Host),
            (Texts{".gamma.net", ".Alpha.com", ".beta.com", ".Zeta.org"}));
  EXPECT_EQ(Field(cookies, &TCacheItem::Name), (Texts{"quoted \"name\"", "a", "b", "z"}));
  EXPECT_EQ(Field(cookies, &TCacheItem::Path), (Texts{"/g", "/", "/b", "/z"}));
  EXPECT_EQ(Field(cookies, &TCacheItem::Content), (Texts{"q", "v", "w", "1"}));
  EXPECT_EQ(cookies[1].CacheFile, TTextStoreImage::Path("cookies.txt"));
  EXPECT_EQ(cookies[1].Plaintext,
            kit::CookiesTxtLine({".Alpha.com", true, "/", true, 1200000000, "a", "v"}));
  EXPECT_DOUBLE_EQ(cookies[1].Expires, UnixTimeToDateTime(1200000000));
  EXPECT_EQ(cookies[0].Expires, 0); // not a number: left unset

  const TCacheList& pages = profile.GetList(ctPages);
  EXPECT_EQ(Field(pages, &TCacheItem::Name),
            (Texts{"browser.search.defaultengine", "browser.startup.homepage",
                   "mailnews.start_page.url", "kmeleon.general.homePage"}));
  EXPECT_EQ(Field(pages, &TCacheItem::Content), (Texts{"", "http://home/", "", "http://km/"}));

  const TCacheList& bookmarks = profile.GetList(ctBookmarks);
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Name), (Texts{"Top", "InA", "InB", "AfterB", "Last"}));
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Path), (Texts{"", "A", "A\\B", "A", ""}));
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Host),
            (Texts{"http://top/", "http://a/", "http://b/", "http://a2/", "http://last/"}));
  // An anchor without an identifier gets none, also after one that had one.
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Content), (Texts{"rdf:#$1", "rdf:#$2", "", "", ""}));
  EXPECT_DOUBLE_EQ(bookmarks[0].Expires, UnixTimeToDateTime(1100000000));
  EXPECT_DOUBLE_EQ(bookmarks[3].LastAccess, UnixTimeToDateTime(1100000500));
  EXPECT_NE(bookmarks[2].Plaintext.find("<A HREF=\"http://b/\""), std::string::npos);

  EXPECT_EQ(profile.GetList(ctHistory).Count(), 0);
  EXPECT_EQ(profile.GetList(ctCache).Count(), 0);
}

// Windows puts "_" (between "Z" and "a" in ASCII) before the letters when it ignores case.
TEST_F(MozillaHelperTest, CookiesTxtSortsUnderscoreBeforeLettersAsWindowsDoes) {
  image.Put("cookies.txt",
            kit::BuildCookiesTxt({{".onet.pl", true, "/", false, 2000000000, "onetzuo_ticket", "1"},
                                  {".onet.pl", true, "/", false, 2000000000, "ONETZ", "2"},
                                  {".onet.pl", true, "/", false, 2000000000, "onet_cid", "3"}}));
  ReadCookiesTxt(profile);
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Name),
            (Texts{"onet_cid", "ONETZ", "onetzuo_ticket"}));
}

TEST_F(MozillaHelperTest, MozillaRefreshAllAddsTheMorkHistoryAndReplacesEarlierEntries) {
  PutTextStores();
  profile.GetList(ctCache).Add();
  mozilla.RefreshAll(profile, {});
  mozilla.RefreshAll(profile, {}); // a second read shows the same, not twice as much

  const TCacheList& history = profile.GetList(ctHistory);
  ASSERT_EQ(history.Count(), 2);
  EXPECT_EQ(Field(history, &TCacheItem::Path), (Texts{"http://one/x", "http://two/"}));
  EXPECT_EQ(Field(history, &TCacheItem::Host), (Texts{"one", "two"}));
  EXPECT_FALSE(history[0].Name.empty());
  EXPECT_NE(history[0].Name, history[1].Name);
  EXPECT_DOUBLE_EQ(history[0].Expires, UnixTimeToDateTime(1000));
  EXPECT_DOUBLE_EQ(history[0].LastAccess, UnixTimeToDateTime(2000));
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 4);
  EXPECT_EQ(profile.GetList(ctPages).Count(), 4);
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 5);
  EXPECT_EQ(profile.GetList(ctCache).Count(), 0);
}

TEST_F(MozillaHelperTest, ReadingChangesNoFileAndMissingOrDamagedStoresGiveNoEntries) {
  PutTextStores();
  image.Put("history.dat", "not mork at all ((((( [[[ ");
  const Texts before = {*image.Read("cookies.txt"), *image.Read("prefs.js"),
                        *image.Read("bookmarks.html"), *image.Read("history.dat")};
  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(before, (Texts{*image.Read("cookies.txt"), *image.Read("prefs.js"),
                           *image.Read("bookmarks.html"), *image.Read("history.dat")}));

  TProfileStores empty;
  empty.SetLocation(ctCookies, TTextStoreImage::Path("none.txt"));
  empty.SetLocation(ctBookmarks, TTextStoreImage::Path("none.html"));
  empty.SetLocation(ctPages, TTextStoreImage::Path("none.js"));
  empty.SetLocation(ctHistory, TTextStoreImage::Path("none.dat"));
  mozilla.RefreshAll(empty, {});
  for (const TCacheList& list : empty.Lists)
    EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(image.Files(), (Texts{"bookmarks.html", "cookies.txt", "history.dat", "prefs.js"}));
}

// A store that exists but cannot be read (another program holds it) shows no entries and the
// outcome names it and says why; the other kinds are read as usual.
TEST_F(MozillaHelperTest, AStoreThatCannotBeReadIsReportedAndTheOthersAreRead) {
  PutTextStores();
  const std::map<TCacheType, std::string> stores = {{ctCookies, "cookies.txt"},
                                                    {ctHistory, "history.dat"},
                                                    {ctPages, "prefs.js"},
                                                    {ctBookmarks, "bookmarks.html"}};
  for (const auto& [kind, name] : stores) {
    SCOPED_TRACE(name);
    image.Api().FailRead = [&name](const std::string& path) { return path.ends_with(name); };
    const TActionOutcome outcome = mozilla.RefreshAll(profile, {});
    for (const auto& [other, otherName] : stores) {
      EXPECT_EQ(outcome.Failed(TStoreAccess::Read, other), other == kind) << otherName;
      EXPECT_EQ(profile.GetList(other).Count() == 0, other == kind) << otherName;
    }
    const TKindOutcome& failed = outcome.Of(TStoreAccess::Read, kind);
    EXPECT_EQ(failed.Store, TTextStoreImage::Path(name));
    EXPECT_THAT(failed.Reason, HasSubstr(TTextStoreImage::Path(name)));
    EXPECT_THAT(failed.Reason, HasSubstr("The process cannot access the file because it is being "
                                         "used by another process."));
  }
}

TEST_F(MozillaHelperTest, CleanRemovesExactlyTheAcceptedTextEntriesAndOnlyForTheGivenKinds) {
  PutTextStores();
  mozilla.RefreshAll(profile, {});
  TAcceptTexts v{{".beta.com/b", "A\\InA"}, {}};

  const std::string cookiesBefore = *image.Read("cookies.txt");
  mozilla.Clean(profile, v.Context(), {});
  mozilla.Clean(profile, v.Context(), TCacheKinds::FromBits(32));
  mozilla.Clean(profile, {}, kAllCacheKinds); // pages: all reset; cookies, bookmarks: kept
  EXPECT_TRUE(v.asked.empty());
  EXPECT_EQ(*image.Read("cookies.txt"), cookiesBefore);

  mozilla.Clean(profile, v.Context(), kAllCacheKinds);
  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Name),
            (Texts{"quoted \"name\"", "a", "z"}));
  EXPECT_EQ(Field(profile.GetList(ctBookmarks), &TCacheItem::Name),
            (Texts{"Top", "InB", "AfterB", "Last"}));
  // The validator-less clean reset every page; the validated one accepted none.
  EXPECT_EQ(Field(profile.GetList(ctPages), &TCacheItem::Content),
            (Texts{"about:blank", "about:blank", "about:blank", "about:blank"}));
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 2); // history is never cleaned entry by entry
}

TEST_F(MozillaHelperTest, PurgeRemovesTheStoresAndResetsThePages) {
  PutTextStores();
  std::filesystem::create_directories(Host("Cache") + "/Sub");
  image.Put("Cache/_CACHE_001_", "x");
  image.Put("Cache/ABC123", "y");
  image.Put("Cache/Sub/kept", "z");
  for (TBrowserHelperCustom* helper : {static_cast<TBrowserHelperCustom*>(&netscape),
                                       static_cast<TBrowserHelperCustom*>(&mozilla)}) {
    helper->RefreshAll(profile, {});
    helper->Purge(profile, {}, {});
    helper->Purge(profile, {}, TCacheKinds::FromBits(64));
    EXPECT_EQ(image.Files().size(), 5u);

    helper->Purge(profile, {}, kAllCacheKinds);
    EXPECT_EQ(image.Files(), (Texts{"Cache", "prefs.js"}));
    EXPECT_TRUE(std::filesystem::exists(Host("Cache") + "/Sub/kept"));
    EXPECT_FALSE(std::filesystem::exists(Host("Cache") + "/ABC123"));
    for (const TCacheType kind : {ctCookies, ctHistory, ctBookmarks})
      EXPECT_EQ(profile.GetList(kind).Count(), 0);
    helper->RefreshAll(profile, {});
    EXPECT_EQ(Field(profile.GetList(ctPages), &TCacheItem::Content),
              (Texts{"about:blank", "about:blank", "about:blank", "about:blank"}));
    PutTextStores();
    image.Put("Cache/ABC123", "y");
  }
}

// --- The SQLite generation ---

class MozillaSQLiteTest : public MozillaHelperTest {
protected:
  MozillaSQLiteTest() {
    profile.VersionTag = 3;
    profile.SetLocation(ctCookies, TTextStoreImage::Path("cookies.sqlite"));
    profile.SetLocation(ctBookmarks, TTextStoreImage::Path("places.sqlite"));
    profile.SetLocation(ctHistory, TTextStoreImage::Path("history.dat"));
    kit::WriteFirefox3Cookies(Host("cookies.sqlite"),
                              {{1, "a", "1", ".a.com", "/", 1300000000, 0, false, false},
                               {2, "b", "2", ".b.com", "/p", 1300000000, 0, true, false},
                               {3, "c", "3", ".c.com", "/", 1300000000, 0, false, false}});
    kit::WriteFirefox3Places(
        Host("places.sqlite"), {{1, "http://x/", "X", 1}, {2, "http://y/", "Y", 1}},
        {{10, 1, 1, 0, 0, std::nullopt, 0}, {11, 1, 2, 0, 1, std::nullopt, 0}});
    image.Put("prefs.js", kit::BuildPrefsJs({{"browser.startup.homepage", "http://home/"}}));
  }
};

TEST_F(MozillaSQLiteTest, RefreshAllReadsTheSQLiteStoresWithoutChangingThem) {
  const std::string cookiesBefore = *image.Read("cookies.sqlite");
  const std::string placesBefore = *image.Read("places.sqlite");
  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Host),
            (Texts{".a.com", ".b.com", ".c.com"}));
  EXPECT_EQ(Field(profile.GetList(ctBookmarks), &TCacheItem::Host),
            (Texts{"http://x/", "http://y/"}));
  EXPECT_EQ(profile.GetList(ctPages).Count(), 4);
  EXPECT_EQ(*image.Read("cookies.sqlite"), cookiesBefore);
  EXPECT_EQ(*image.Read("places.sqlite"), placesBefore);
  EXPECT_FALSE(image.Read("cookies.sqlite-journal").has_value());
}

TEST_F(MozillaSQLiteTest, ADamagedDatabaseReadsAsEmptyStaysAsItIsAndSaysWhy) {
  const std::string garbage = "this is not a database, it is held by a running browser";
  image.Put("places.sqlite", garbage);
  const TActionOutcome read = mozilla.RefreshAll(profile, {});
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 0);
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
  EXPECT_FALSE(read.Failed(TStoreAccess::Read, ctCookies));
  const std::string places = TTextStoreImage::Path("places.sqlite");
  EXPECT_EQ(read.Of(TStoreAccess::Read, ctBookmarks).Store, places);
  EXPECT_THAT(read.Of(TStoreAccess::Read, ctBookmarks).Reason,
              AllOf(StartsWith(places + " cannot be read ("), HasSubstr("not a database")));

  TAcceptTexts v{{"\\X"}, {}};
  const TActionOutcome clean = mozilla.Clean(profile, v.Context(), kAllCacheKinds);
  EXPECT_FALSE(clean.Failed(TStoreAccess::Change, ctCookies));
  EXPECT_THAT(clean.Of(TStoreAccess::Change, ctBookmarks).Reason,
              AllOf(StartsWith(places + " could not be changed ("), HasSubstr("not a database")));
  EXPECT_EQ(*image.Read("places.sqlite"), garbage);
}

// A browser that holds the database (here: a write transaction of another connection) keeps the
// clean from changing it; the outcome says so and every row stays.
TEST_F(MozillaSQLiteTest, ACleanOfADatabaseInUseChangesNothingAndSaysWhy) {
  mozilla.RefreshAll(profile, {});
  TSQLiteDatabase browser(Host("cookies.sqlite"), TSQLiteOpenMode::ReadWrite);
  browser.BeginWriteTransaction();
  TAcceptTexts v{{".b.com/p"}, {}};
  const TKindOutcome cookies =
      mozilla.Clean(profile, v.Context(), {ctCookies}).Of(TStoreAccess::Change, ctCookies);
  EXPECT_EQ(cookies.Result, TKindResult::Failed);
  EXPECT_THAT(cookies.Reason, StartsWith(TTextStoreImage::Path("cookies.sqlite") +
                                         " is in use by another program ("));
  browser.Rollback();
  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
}

TEST_F(MozillaSQLiteTest, CleanDeletesTheAcceptedRowsAndLeavesTheListToTheNextRead) {
  mozilla.RefreshAll(profile, {});
  mozilla.Clean(profile, {}, kAllCacheKinds);
  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 2);

  TAcceptTexts v{{".b.com/p", "\\Y"}, {}};
  mozilla.Clean(profile, v.Context(), kAllCacheKinds);
  // Asked last to first; the entries stay listed until the next read.
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
  EXPECT_TRUE(profile.GetList(ctCookies)[1].ToBeDeleted);
  EXPECT_FALSE(profile.GetList(ctCookies)[0].ToBeDeleted);
  ASSERT_EQ(v.asked.size(), 9u); // kind by kind: three cookies, four pages, two bookmarks
  EXPECT_EQ(Texts(v.asked.begin(), v.asked.begin() + 3), (Texts{".c.com/", ".b.com/p", ".a.com/"}));

  mozilla.RefreshAll(profile, {});
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Host), (Texts{".a.com", ".c.com"}));
  EXPECT_EQ(Field(profile.GetList(ctBookmarks), &TCacheItem::Host), (Texts{"http://x/"}));
}

TEST_F(MozillaSQLiteTest, PurgeDeletesTheCookieFileButOnlyTheBookmarksOfPlaces) {
  mozilla.RefreshAll(profile, {});
  mozilla.Purge(profile, {}, {ctCookies, ctBookmarks});
  EXPECT_FALSE(image.Read("cookies.sqlite").has_value());
  // places.sqlite is the history as well: its pages stay.
  ASSERT_TRUE(image.Read("places.sqlite").has_value());
  TSQLiteDatabase places(Host("places.sqlite"), TSQLiteOpenMode::ReadOnly);
  EXPECT_EQ(places.GetTable("SELECT count(*) FROM moz_places")->ColumnInt64(0), 2);
  EXPECT_EQ(places.GetTable("SELECT count(*) FROM moz_bookmarks")->ColumnInt64(0), 0);
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 0);
  EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 0);
  EXPECT_EQ(profile.GetList(ctPages).Count(), 4); // not asked for
}

// Folders nested far deeper, or named far longer, than a browser makes them: every anchor is
// listed, the path it keeps stops at a bound with a visible mark, and each </DL> still closes
// the right folder.
TEST_F(MozillaHelperTest, DeeplyNestedBookmarkFoldersKeepEveryEntryWithABoundedPath) {
  constexpr std::string_view kMark = "\xE2\x80\xA6";
  struct TCase {
    int depth;
    std::size_t nameLength;
    int keptLevels; // levels a path shows before the mark
  };
  for (const TCase& c : {TCase{100, 2, 16}, TCase{12, 200, 1}}) {
    SCOPED_TRACE(c.depth);
    const auto name = [&](int i) {
      const std::string n = "F" + std::to_string(i);
      return n + std::string(c.nameLength - std::min(c.nameLength, n.size()), 'x');
    };
    std::string html = "<H1>Bookmarks</H1>\n<DL><p>\n";
    for (int i = 0; i < c.depth; ++i)
      html += "<DT><H3>" + name(i) + "</H3>\n<DL><p>\n<DT><A HREF=\"http://in" + std::to_string(i) +
              "/\">In</A>\n";
    for (int i = c.depth - 1; i >= 0; --i)
      html += "</DL><p>\n<DT><A HREF=\"http://after" + std::to_string(i) + "/\">After</A>\n";
    html += "</DL><p>\n";
    image.Put("bookmarks.html", html);

    ReadBookmarksHtml(profile);
    const TCacheList& list = profile.GetList(ctBookmarks);
    ASSERT_EQ(list.Count(), 2 * c.depth);
    // The path of the folders 0 .. levels-1, elided past the bound.
    const auto path = [&](int levels) {
      std::string p;
      for (int i = 0; i < std::min(levels, c.keptLevels); ++i)
        p += (i == 0 ? "" : "\\") + name(i);
      if (levels > c.keptLevels)
        p += std::string(p.empty() ? "" : "\\") + std::string(kMark);
      return p;
    };
    for (int i = 0; i < c.depth; ++i) {
      const TCacheItem& in =
          *profile.GetList(ctBookmarks).FindEntry("In", "http://in" + std::to_string(i) + "/");
      EXPECT_EQ(in.Path, path(i + 1)) << i;
      const TCacheItem& after = *profile.GetList(ctBookmarks)
                                     .FindEntry("After", "http://after" + std::to_string(i) + "/");
      EXPECT_EQ(after.Path, path(i)) << i;
    }
  }
}

// A store far larger than any browser writes is refused from its size, before it is read; the
// message names the file and the limit. The files are sparse: their size costs no disk.
TEST_F(MozillaHelperTest, StoresLargerThanTheirLimitAreRefusedUnread) {
  struct TCase {
    std::string file;
    std::uint64_t limit;
    std::string what;
    TCacheType kind;
    std::function<TActionOutcome()> read;
  };
  const std::vector<TCase> cases = {
      {"cookies.txt", kCookiesTxtLimit, "a cookie file", ctCookies,
       [&] { return ReadCookiesTxt(profile); }},
      {"bookmarks.html", kBookmarksHtmlLimit, "a bookmark file", ctBookmarks,
       [&] { return ReadBookmarksHtml(profile); }},
      {"prefs.js", kPrefsJsLimit, "a preferences file", ctPages,
       [&] { return ReadPrefsPages(profile); }},
      {"history.dat", kMorkLimit, "a Mork file", ctHistory,
       [&] { return ReadMorkHistory(profile); }},
  };
  for (const TCase& c : cases) {
    for (const std::uint64_t size : {c.limit + 1, 2 * c.limit}) {
      SCOPED_TRACE(c.file + " " + std::to_string(size));
      image.Put(c.file, "");
      std::filesystem::resize_file(Host(c.file), size);
      const std::string message = size == 2 * c.limit
                                      ? c.file + " is " + SizeText(size) + ", more than the " +
                                            SizeText(c.limit) + " " + c.what + " can have; not read"
                                      : c.file + " is " + std::to_string(size) +
                                            " bytes, more than the " + std::to_string(c.limit) +
                                            " bytes " + c.what + " can have; not read";
      const TKindOutcome outcome = c.read().Of(TStoreAccess::Read, c.kind);
      EXPECT_EQ(outcome.Result, TKindResult::Failed);
      EXPECT_NE(outcome.Reason.find(message), std::string::npos) << outcome.Reason;
      for (const TCacheList& list : profile.Lists)
        EXPECT_EQ(list.Count(), 0);
    }
  }
}

// A store of the shortest entries takes far more memory than its size: past its budget it is
// refused before any entry is made, while a store of as many bytes of real entries reads.
TEST_F(MozillaHelperTest, StoresWhoseEntriesWouldOutgrowTheirMemoryAreRefusedUnlisted) {
  const auto repeated = [](std::string_view line, std::size_t size) {
    std::string text;
    while (text.size() < size)
      text += line;
    return text;
  };
  std::vector<TCookieTxt> cookies;
  for (int i = 0; i < 64'000; ++i)
    cookies.push_back({".www.site" + std::to_string(i) + ".example.com", true, "/shop/cart", false,
                       1900000000 + i, "session_token_" + std::to_string(i % 37),
                       "a1b2c3d4e5f6" + std::to_string(i * 2654435761u) + "0f9e8d7c6b5a4"});
  std::vector<TBookmarkNode> bookmarks;
  for (int i = 0; i < 16'000; ++i)
    bookmarks.push_back(TBookmarkNode::Bookmark(
        "Some page about topic " + std::to_string(i),
        "http://www.site" + std::to_string(i) + ".example.com/articles/index.html", 1100000000 + i,
        1100000500 + i, "rdf:#$" + std::to_string(i)));
  std::vector<kit::TPrefValue> prefs;
  for (int i = 0; i < 70'000; ++i)
    prefs.push_back({"extensions.addon" + std::to_string(i) + ".setting",
                     "http://www.example.com/some/page/" + std::to_string(i)});
  std::vector<kit::TMorkHistoryEntry> pages;
  for (int i = 0; i < 5'000; ++i)
    pages.push_back({"http://www.site" + std::to_string(i) + ".example/articles/page.html",
                     "Article number " + std::to_string(i), "www.site" + std::to_string(i),
                     1100000000000000 + i, 1100000000000000 + i});

  struct TCase {
    std::string file;
    TCacheType kind;
    std::string tiny;
    std::size_t tinyEntries;
    std::string what;
    std::string real;
    int realEntries;
    std::function<TActionOutcome()> read;
  };
  const std::string folder = "<DL><p>\n<DT><H3>" + std::string(250, 'f') + "</H3>\n<DL><p>\n";
  const std::vector<TCase> cases = {
      {"cookies.txt", ctCookies, repeated("a b c d e f g\n", 6 * kMiB), 6 * kMiB / 14 + 1,
       "cookies", kit::BuildCookiesTxt(cookies), 64'000, [&] { return ReadCookiesTxt(profile); }},
      {"bookmarks.html", ctBookmarks, folder + repeated("<A HREF=\n", 2048 * 1024),
       (2048 * 1024 + 8) / 9, "bookmarks", kit::BuildBookmarksHtml(bookmarks), 16'000,
       [&] { return ReadBookmarksHtml(profile); }},
      {"prefs.js", ctPages, repeated("user_pref(,);\n", 5 * kMiB), (5 * kMiB + 13) / 14,
       "preferences", kit::BuildPrefsJs(prefs), 4, [&] { return ReadPrefsPages(profile); }},
      {"history.dat", ctHistory, "[a()]" + std::string(600 * 1024, ']'), 600 * 1024 + 1, "rows",
       kit::BuildHistoryDat(pages), 5'000, [&] { return ReadMorkHistory(profile); }},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.file);
    ASSERT_GE(c.real.size(), c.tiny.size());
    image.Put(c.file, c.tiny);
    const TKindOutcome refused = c.read().Of(TStoreAccess::Read, c.kind);
    EXPECT_EQ(refused.Result, TKindResult::Failed);
    EXPECT_THAT(refused.Reason,
                AllOf(HasSubstr(c.file + " holds " + std::to_string(c.tinyEntries) + " " + c.what +
                                " in " + SizeText(c.tiny.size()) + "; listed they would take "),
                      HasSubstr(" a file of that size may use; not read")));
    for (const TCacheList& list : profile.Lists)
      EXPECT_EQ(list.Count(), 0);

    image.Put(c.file, c.real);
    EXPECT_EQ(c.read().Of(TStoreAccess::Read, c.kind).Result, TKindResult::Done);
    EXPECT_EQ(profile.GetList(c.kind).Count(), c.realEntries);
    profile.GetList(c.kind).Clear();
  }
}

TEST(SizeText, RoundsToTheLargestUnitWithOneDecimalBelowAHundred) {
  const std::vector<std::pair<std::uint64_t, std::string>> cases = {
      {0, "0 bytes"},           {1023, "1023 bytes"},   {1024, "1 KB"},
      {1536, "1.5 KB"},         {256 * kMiB, "256 MB"}, {256 * kMiB + 1, "256 MB"},
      {kMiB * 3 / 2, "1.5 MB"}, {2048 * kMiB, "2 GB"},  {2048 * kMiB + 100 * kMiB, "2.1 GB"}};
  for (const auto& [bytes, text] : cases)
    EXPECT_EQ(SizeText(bytes), text) << bytes;
}

TEST_F(MozillaHelperTest, AProfileReachesTheHelperOfItsTypeThroughItsOwnActions) {
  PutTextStores();
  Texts asked;
  profile.OnValidateCacheEntry = [&asked](TBrowserProfile&, TCacheType, TCacheItem* item,
                                          bool& doclean, std::string& newcontent) {
    EXPECT_FALSE(doclean);
    asked.push_back(newcontent);
    doclean = item != nullptr && item->Host == ".Alpha.com";
  };

  profile.SetBrowserType(bNetscape4);
  profile.Refresh();
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 0); // Netscape lists no history
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 4);

  profile.SetBrowserType(bKMeleon);
  profile.Refresh();
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 2);
  profile.Clean({ctCookies});
  profile.Purge({ctHistory});
  profile.Refresh();
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Host),
            (Texts{".gamma.net", ".beta.com", ".Zeta.org"}));
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 0);
  EXPECT_FALSE(image.Read("history.dat").has_value());
  // The window's callback was asked with each cookie's description.
  EXPECT_EQ(asked.size(), 4u);
  EXPECT_NE(std::find(asked.begin(), asked.end(), ".Alpha.com/"), asked.end());
}
