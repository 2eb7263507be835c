#include "helpers/BrowserHelper.h"

#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "formats/TextStoreImage.h"
#include "model/DateUtils.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;
using quillon::test::Always;
using quillon::test::TTextStoreImage;
using Texts = std::vector<std::string>;

namespace {

Texts Field(const TCacheList& list, TItemText TCacheItem::*field) {
  Texts out;
  for (int i = 0; i < list.Count(); ++i)
    out.push_back(list[i].*field);
  return out;
}

TBrowserHelperCustom& Opera() {
  return BrowserHelper(THelperKind::Opera);
}

// A profile folder with Opera's stores where the discovery puts them.
class OperaHelperTest : public ::testing::Test {
protected:
  OperaHelperTest() {
    profile.SetLocation(ctCache, TTextStoreImage::Path("Cache4\\"));
    profile.SetLocation(ctCookies, TTextStoreImage::Path("cookies4.dat"));
    profile.SetLocation(ctHistory, TTextStoreImage::Path("global.dat"));
    profile.SetLocation(ctPages, TTextStoreImage::Path("Opera6.ini"));
    profile.SetLocation(ctBookmarks, TTextStoreImage::Path("Opera6.adr"));
  }
  TTextStoreImage image;
  TProfileStores profile;
};

TEST_F(OperaHelperTest, ListsHistoryPagesAndBookmarks) {
  image.Put("global.dat", "Opera\r\nhttp://www.opera.com/\r\n1300000000\r\n-1\r\n"
                          "Bad time\r\nhttp://x/\r\nyesterday\r\n7\r\n");
  image.Put("Opera6.ini", "Opera Preferences version 2.0\r\n[User Prefs]\r\n"
                          "Home URL=http://home.example/\r\n");
  image.Put("Opera6.adr", "Opera Hotlist version 2.0\n\n#FOLDER\n\tNAME=Work\n\n#FOLDER\n"
                          "\tNAME=Docs\n\n#URL\n\tNAME=Manual\n\tURL=http://s/\n\tSHORT NAME=s\n"
                          "\tDESCRIPTION=about\n\tCREATED=1200000000\n\tVISITED=soon\n\n-\n\n"
                          "#URL\n\tNAME=Mail\n\tURL=http://m/\n\n");
  const TActionOutcome outcome = Opera().RefreshAll(profile, {});
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Read));

  const TCacheList& history = profile.GetList(ctHistory);
  EXPECT_EQ(Field(history, &TCacheItem::Name), (Texts{"Opera", "Bad time"}));
  EXPECT_EQ(Field(history, &TCacheItem::Path), (Texts{"http://www.opera.com/", "http://x/"}));
  EXPECT_EQ(history[0].Plaintext, "Opera\nhttp://www.opera.com/\n1300000000\n-1\n");
  EXPECT_EQ(history[0].LastAccess, UnixTimeToDateTime(1300000000));
  EXPECT_EQ(history[1].LastAccess, 0);

  const TCacheList& pages = profile.GetList(ctPages);
  ASSERT_EQ(pages.Count(), 1);
  EXPECT_EQ(pages[0].Name, "[User Prefs]Home URL");
  EXPECT_EQ(pages[0].Content, "http://home.example/");

  const TCacheList& bookmarks = profile.GetList(ctBookmarks);
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Name), (Texts{"Manual", "Mail"}));
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Path), (Texts{"Work\\Docs", "Work"}));
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Host), (Texts{"http://s/", "http://m/"}));
  EXPECT_EQ(bookmarks[0].Content, "s");
  EXPECT_EQ(bookmarks[0].Plaintext, "about");
  EXPECT_EQ(bookmarks[0].Expires, UnixTimeToDateTime(1200000000));
  EXPECT_EQ(bookmarks[0].LastAccess, 0);
}

TEST_F(OperaHelperTest, StartPageEntryExistsWithoutFileOrValue) {
  for (const char* ini : {static_cast<const char*>(nullptr), "[User Prefs]\nOther=1\n", ""}) {
    SCOPED_TRACE(ini == nullptr ? "no file" : ini);
    if (ini != nullptr)
      image.Put("Opera6.ini", ini);
    EXPECT_FALSE(Opera().RefreshAll(profile, {}).Failed(TStoreAccess::Read));
    const TCacheList& pages = profile.GetList(ctPages);
    ASSERT_EQ(pages.Count(), 1);
    EXPECT_EQ(pages[0].Name, "[User Prefs]Home URL");
    EXPECT_EQ(pages[0].Content, "");
  }
}

TEST_F(OperaHelperTest, UnreadableFilesAreEachTheirKindsFailure) {
  image.Put("global.dat", "a\nu\n1300000000\n");
  image.Put("Opera6.ini", "[User Prefs]\nHome URL=x\n");
  image.Put("Opera6.adr", "#URL\nNAME=a\n");
  image.Api().FailRead = Always();
  const TActionOutcome outcome = Opera().RefreshAll(profile, {});
  for (const TCacheType kind : {ctHistory, ctPages, ctBookmarks}) {
    SCOPED_TRACE(KindText(kind));
    const TKindOutcome& o = outcome.Of(TStoreAccess::Read, kind);
    EXPECT_EQ(o.Result, TKindResult::Failed);
    EXPECT_EQ(o.Store, profile.GetLocation(kind));
    EXPECT_NE(o.Reason.find("in use by another program"), std::string::npos) << o.Reason;
    EXPECT_EQ(profile.GetList(kind).Count(), 0);
  }
  // Missing stores are none of it.
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Read, ctCookies));
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Read, ctCache));
}

TEST_F(OperaHelperTest, PurgeRemovesEachKindAsAWhole) {
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4")));
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4\\g_0000")));
  image.Put("Cache4/dcache4.url", "index");
  image.Put("Cache4/opr00001.tmp", "data");
  image.Put("Cache4/g_0000/opr00002.tmp", "data");
  image.Put("cookies4.dat", "cookies");
  image.Put("global.dat", "a\nu\n1300000000\n");
  image.Put("Opera6.adr", "#URL\nNAME=a\n");
  const std::string ini = "; mine\r\n[User Prefs]\r\nHome URL=http://home/\r\n";
  image.Put("Opera6.ini", ini);
  Opera().RefreshAll(profile, {});

  struct TStep {
    TCacheKinds kinds;
    Texts files; // what stays in the profile folder
  };
  const std::vector<TStep> steps = {
      {TCacheKinds{}, {"Cache4", "Opera6.adr", "Opera6.ini", "cookies4.dat", "global.dat"}},
      {TCacheKinds{ctCache, ctHistory}, {"Cache4", "Opera6.adr", "Opera6.ini", "cookies4.dat"}},
      {TCacheKinds{ctCookies, ctBookmarks, ctPages}, {"Cache4", "Opera6.ini"}},
  };
  for (const TStep& step : steps) {
    EXPECT_FALSE(Opera().Purge(profile, {}, step.kinds).Failed(TStoreAccess::Change));
    EXPECT_EQ(image.Files(), step.files);
  }
  // The cache folder keeps its sub-folder; the ini file only its value changed.
  EXPECT_EQ(image.Read("Cache4/g_0000/opr00002.tmp"), "data");
  EXPECT_FALSE(image.Read("Cache4/opr00001.tmp").has_value());
  EXPECT_EQ(image.Read("Opera6.ini"), "; mine\r\n[User Prefs]\r\nHome URL=about:blank\r\n");
  EXPECT_EQ(profile.GetList(ctPages)[0].Content, "about:blank");
  for (const TCacheType kind : {ctCache, ctCookies, ctHistory, ctBookmarks})
    EXPECT_EQ(profile.GetList(kind).Count(), 0);
}

// --- cookies4.dat and dcache4.url ----------------------------------------------------------

// com > example (a, b) > www (filtered: w) > deep (d); org (refuses: x) > sub (y).
std::string CookieFile() {
  TO4CookieRoot root;
  TO4Domain& com = root.AddDomain();
  com.Name = "com";
  TO4Domain& example = com.AddDomain();
  example.Name = "example";
  for (const char* name : {"a", "b"}) {
    TO4Cookie& c = example.AddCookie();
    c.Name = name;
    c.Value = std::string("v") + name;
    c.Expires = 1900000000;
    c.LastUsed = 1300000000;
  }
  TO4Domain& www = example.AddDomain();
  www.Name = "www";
  www.FilterType = 2;
  www.AddCookie().Name = "w";
  TO4Domain& deep = www.AddDomain();
  deep.Name = "deep";
  deep.AddCookie().Name = "d";
  TO4Domain& org = root.AddDomain();
  org.Name = "org";
  org.AcceptType = 4;
  org.AddCookie().Name = "x";
  TO4Domain& sub = org.AddDomain();
  sub.Name = "sub";
  sub.AddCookie().Name = "y";
  return root.SaveToBytes();
}

TEST_F(OperaHelperTest, CookiesOfFilteringNodesAreNotListedButTheirSubDomainsAre) {
  image.Put("cookies4.dat", CookieFile());
  EXPECT_FALSE(Opera().RefreshAll(profile, {}).Failed(TStoreAccess::Read));
  const TCacheList& cookies = profile.GetList(ctCookies);
  EXPECT_EQ(Field(cookies, &TCacheItem::Name), (Texts{"a", "b", "d", "y"}));
  EXPECT_EQ(Field(cookies, &TCacheItem::Host),
            (Texts{"example.com", "example.com", "deep.www.example.com", "sub.org"}));
  EXPECT_EQ(cookies[1].Content, "vb");
  EXPECT_EQ(cookies[0].CacheFile, profile.GetLocation(ctCookies));
  EXPECT_EQ(cookies[0].Expires, O4TimeToDateTime(1900000000));
  EXPECT_EQ(cookies[0].LastAccess, O4TimeToDateTime(1300000000));
}

TEST_F(OperaHelperTest, DeepCookieTreeIsWalkedWithoutRecursion) {
  TO4CookieRoot root;
  TO4Domains* node = &root;
  constexpr int kDepth = 100'000;
  for (int i = 0; i < kDepth; ++i) {
    TO4Domain& child = node->AddDomain();
    child.Name = "a";
    node = &child;
  }
  static_cast<TO4Domain*>(node)->AddCookie().Name = "bottom";
  image.Put("cookies4.dat", root.SaveToBytes());
  Opera().RefreshAll(profile, {});
  const TCacheList& cookies = profile.GetList(ctCookies);
  ASSERT_EQ(cookies.Count(), 1);
  EXPECT_EQ(cookies[0].Host.size(), 2u * kDepth - 1);
}

TEST_F(OperaHelperTest, CacheEntriesNameTheirFilesInTheCacheFolder) {
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4")));
  TO4CacheRoot root;
  TO4CacheEntry& first = root.AddEntry();
  first.Url = "http://a.example/";
  first.FileName = "opr00001.tmp";
  first.Tag05 = 1300000000;
  first.HTTPRecord.Expires = 1400000000;
  TO4CacheEntry& second = root.AddEntry();
  second.Url = "http://b.example/x.png";
  second.FileName = "g_0000\\opr00002.png";
  image.Put("Cache4/dcache4.url", root.SaveToBytes());
  EXPECT_FALSE(Opera().RefreshAll(profile, {}).Failed(TStoreAccess::Read));
  const TCacheList& cache = profile.GetList(ctCache);
  EXPECT_EQ(Field(cache, &TCacheItem::Name), (Texts{"opr00001.tmp", "g_0000\\opr00002.png"}));
  EXPECT_EQ(Field(cache, &TCacheItem::Host),
            (Texts{"http://a.example/", "http://b.example/x.png"}));
  EXPECT_EQ(Field(cache, &TCacheItem::CacheFile),
            (Texts{TTextStoreImage::Path("Cache4\\opr00001.tmp"),
                   TTextStoreImage::Path("Cache4\\g_0000\\opr00002.png")}));
  EXPECT_EQ(cache[0].LastAccess, O4TimeToDateTime(1300000000));
  EXPECT_EQ(cache[0].Expires, O4TimeToDateTime(1400000000));
}

// A file cut short keeps what was read before the cut listed, and the kind says it is damaged.
TEST_F(OperaHelperTest, DamagedBinaryFilesListWhatWasReadAndFail) {
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4")));
  const std::string cookies = CookieFile();
  TO4CacheRoot index;
  for (const char* url : {"http://1/", "http://2/"}) {
    TO4CacheEntry& e = index.AddEntry();
    e.Url = url;
    e.FileName = "f.tmp";
  }
  const std::string cache = index.SaveToBytes();
  // Cut inside the name of the last cookie, "y".
  image.Put("cookies4.dat", cookies.substr(0, cookies.rfind('y')));
  image.Put("Cache4/dcache4.url", cache.substr(0, cache.size() - 3));
  const TActionOutcome outcome = Opera().RefreshAll(profile, {});
  for (const TCacheType kind : {ctCookies, ctCache}) {
    SCOPED_TRACE(KindText(kind));
    const TKindOutcome& o = outcome.Of(TStoreAccess::Read, kind);
    EXPECT_EQ(o.Result, TKindResult::Failed);
    EXPECT_NE(o.Reason.find("is damaged at byte"), std::string::npos) << o.Reason;
  }
  EXPECT_EQ(Field(profile.GetList(ctCookies), &TCacheItem::Name), (Texts{"a", "b", "d"}));
  EXPECT_EQ(Field(profile.GetList(ctCache), &TCacheItem::Host), Texts{"http://1/"});
}

} // namespace
