#include "helpers/BrowserHelper.h"

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
                          "\tNAME=Docs\n\n#URL\n\tNAME=Spec\n\tURL=http://s/\n\tSHORT NAME=s\n"
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
  EXPECT_EQ(Field(bookmarks, &TCacheItem::Name), (Texts{"Spec", "Mail"}));
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

} // namespace
