#include "helpers/OperaCleaners.h"

#include "helpers/BrowserHelper.h"

#include "formats/IniFile.h"
#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "formats/TextStoreImage.h"
#include "helpers/OperaStores.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace quillon;
using quillon::test::Always;
using quillon::test::TTextStoreImage;
using Texts = std::vector<std::string>;

namespace {

// Accepts the entries whose offered text is listed (with the replacement as content when set)
// and records every question.
struct TValidator {
  explicit TValidator(Texts acceptTexts, std::string replacementText = {})
      : accept(std::move(acceptTexts)), replacement(std::move(replacementText)) {}
  Texts accept;
  std::string replacement;
  Texts asked;
  TCleanRule Rule() {
    return [this](TCacheType, TCacheItem* item, std::string offered) {
      EXPECT_NE(item, nullptr);
      asked.push_back(offered);
      const bool remove = std::find(accept.begin(), accept.end(), offered) != accept.end();
      return TCleanDecision{remove, replacement.empty() ? offered : replacement};
    };
  }
};

Texts Names(const TCacheList& list) {
  Texts names;
  for (int i = 0; i < list.Count(); ++i)
    names.push_back(list[i].Name);
  return names;
}

std::string SampleBytes(const std::string& name) {
  std::ifstream in(std::string(QUILLON_SAMPLES_DIR) + "/opera/" + name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool HaveSamples() {
  return std::filesystem::exists(std::string(QUILLON_SAMPLES_DIR) + "/opera");
}

// --- start pages ---------------------------------------------------------------------------

struct TPagesCase {
  const char* name;
  std::string ini;
  Texts entries;        // Names of the page entries
  bool withRule;        // false: every entry is accepted
  std::string expected; // the file afterwards
  Texts contents;       // the entries' Content afterwards
};

TEST(CleanIniPages, SetsOnlyTheAcceptedValuesAndKeepsEveryOtherByte) {
  const std::string head = "\xEF\xBB\xBFOpera Preferences version 2.1\r\n; edited\r\n\r\n";
  const std::string prefs = "[User Prefs]\r\nHome URL=http://home/\r\nStartup Type=2\r\n\r\n"
                            "[Adv User Prefs]\r\nStart URL=http://start/\r\n";
  const std::vector<TPagesCase> cases = {
      {"reset: home page to about:blank",
       head + prefs,
       {"[User Prefs]Home URL"},
       false,
       head + "[User Prefs]\r\nHome URL=about:blank\r\nStartup Type=2\r\n\r\n"
              "[Adv User Prefs]\r\nStart URL=http://start/\r\n",
       {"about:blank"}},
      {"rule's content; entry without \"]\" untouched; other section's key",
       head + prefs,
       {"Home URL", "[Adv User Prefs]Start URL"},
       true,
       head + "[User Prefs]\r\nHome URL=http://home/\r\nStartup Type=2\r\n\r\n"
              "[Adv User Prefs]\r\nStart URL=http://mine/\r\n",
       {"", "http://mine/"}},
      {"missing key and missing section added",
       "[User Prefs]\nA=1\n",
       {"[User Prefs]Home URL", "[New]Key"},
       false,
       "[User Prefs]\nA=1\nHome URL=about:blank\n\n[New]\nKey=about:blank\n",
       {"about:blank", "about:blank"}},
  };
  for (const TPagesCase& c : cases) {
    SCOPED_TRACE(c.name);
    TTextStoreImage image;
    TProfileStores profile;
    profile.SetLocation(ctPages, image.Put("opera6.ini", c.ini));
    for (const std::string& name : c.entries)
      profile.GetList(ctPages).Add().Name = name;
    TValidator v{{"about:blank"}, "http://mine/"};
    const TActionOutcome outcome =
        c.withRule ? CleanIniPages(profile, v.Rule()) : ResetIniPages(profile);
    EXPECT_FALSE(outcome.Failed(TStoreAccess::Change));
    EXPECT_EQ(image.Read("opera6.ini"), c.expected);
    Texts contents;
    for (int i = 0; i < profile.GetList(ctPages).Count(); ++i)
      contents.push_back(profile.GetList(ctPages)[i].Content);
    EXPECT_EQ(contents, c.contents);
  }
}

TEST(CleanIniPages, MissingFileOrFailedWriteChangesNothingAndFailureIsReported) {
  TTextStoreImage image;
  TProfileStores profile;
  profile.SetLocation(ctPages, TTextStoreImage::Path("opera6.ini"));
  profile.GetList(ctPages).Add().Name = "[User Prefs]Home URL";
  EXPECT_FALSE(ResetIniPages(profile).Failed(TStoreAccess::Change));
  EXPECT_TRUE(image.Files().empty());

  const std::string ini = "[User Prefs]\nHome URL=http://home/\n";
  image.Put("opera6.ini", ini);
  image.Api().FailMove = Always();
  const TKindOutcome failed = ResetIniPages(profile).Of(TStoreAccess::Change, ctPages);
  EXPECT_EQ(failed.Result, TKindResult::Failed);
  EXPECT_NE(failed.Reason.find("opera6.ini"), std::string::npos);
  EXPECT_EQ(image.Read("opera6.ini"), ini);
  EXPECT_EQ(profile.GetList(ctPages)[0].Content, "");
  EXPECT_EQ(image.Files(), Texts{"opera6.ini"});
}

TEST(CleanIniPages, SamplesGainOneLineAndAResetOfAResetWritesNothing) {
  if (!HaveSamples())
    GTEST_SKIP() << "no Opera samples";
  for (const char* sample : {"magec_2009_opera6.ini", "danylyuk_opera12_operaprefs.ini"}) {
    SCOPED_TRACE(sample);
    TTextStoreImage image;
    const std::string bytes = SampleBytes(sample);
    TProfileStores profile;
    profile.SetLocation(ctPages, image.Put("opera.ini", bytes));
    profile.GetList(ctPages).Add().Name = "[User Prefs]Home URL";
    // Neither sample sets a home page: the key joins its section and nothing else changes.
    ASSERT_FALSE(ResetIniPages(profile).Failed(TStoreAccess::Change));
    const std::string reset = *image.Read("opera.ini");
    const std::string line = bytes.find("\r\n") != std::string::npos ? "Home URL=about:blank\r\n"
                                                                     : "Home URL=about:blank\n";
    const std::size_t at = reset.find(line);
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(std::string(reset).erase(at, line.size()), bytes);
    EXPECT_EQ(TIniFile(profile.GetLocation(ctPages)).ReadString("User Prefs", "Home URL", "-"),
              "about:blank");
    ResetIniPages(profile);
    EXPECT_EQ(image.Read("opera.ini"), reset);
    EXPECT_EQ(image.Files(), Texts{"opera.ini"});
  }
}

// --- global.dat ------------------------------------------------------------------------------

// A history profile as the helper lists it: each record's entry with its lines in Plaintext.
class CleanHistoryFileTest : public ::testing::Test {
protected:
  void Load(const std::string& text) {
    original = text;
    profile.SetLocation(ctHistory, image.Put("global.dat", text));
    profile.GetList(ctHistory).Clear();
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctHistory);
  }
  TTextStoreImage image;
  TProfileStores profile;
  std::string original;
};

TEST_F(CleanHistoryFileTest, RemovesExactlyTheAcceptedRecordsLines) {
  struct TCase {
    const char* name;
    std::string text;
    Texts accept; // URLs
    std::string expected;
    Texts left; // titles
  };
  const std::vector<TCase> cases = {
      {"4-line records with their own breaks, incomplete tail kept",
       "A\r\nhttp://a/\r\n1300000000\r\n-1\r\nB\nhttp://b/\n1300000001\n5\nC\rhttp://c/\r1\r0\rD\n",
       {"http://b/"},
       "A\r\nhttp://a/\r\n1300000000\r\n-1\r\nC\rhttp://c/\r1\r0\rD\n",
       {"A", "C"}},
      {"two equal records, both accepted",
       "A\nhttp://a/\n1300000000\nA\nhttp://a/\n1300000000\nB\nhttp://b/\n1300000001\n",
       {"http://a/"},
       "B\nhttp://b/\n1300000001\n",
       {"B"}},
      {"every record", "A\nhttp://a/\n1300000000\n", {"http://a/"}, "", {}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    Load(c.text);
    TValidator v{c.accept};
    EXPECT_FALSE(CleanHistoryFile(profile, v.Rule()).Failed(TStoreAccess::Change));
    EXPECT_EQ(Names(profile.GetList(ctHistory)), c.left);
    EXPECT_EQ(image.Read("global.dat"), c.expected);
    EXPECT_EQ(image.Files(), Texts{"global.dat"});
  }
}

TEST_F(CleanHistoryFileTest, WithoutRuleOrWithAFailedWriteNothingChanges) {
  Load("A\nhttp://a/\n1300000000\nB\nhttp://b/\n1300000001\n");
  EXPECT_FALSE(CleanHistoryFile(profile, {}).Failed(TStoreAccess::Change));
  EXPECT_EQ(profile.GetList(ctHistory).Count(), 2);

  for (const bool failRead : {true, false}) {
    SCOPED_TRACE(failRead ? "read" : "write");
    image.Api().FailRead = failRead ? Always() : nullptr;
    image.Api().FailWrite = failRead ? nullptr : Always();
    TValidator v{{"http://a/"}};
    const TKindOutcome outcome =
        CleanHistoryFile(profile, v.Rule()).Of(TStoreAccess::Change, ctHistory);
    EXPECT_EQ(outcome.Result, TKindResult::Failed);
    EXPECT_NE(outcome.Reason.find("global.dat"), std::string::npos);
    EXPECT_EQ(image.Read("global.dat"), original);
    EXPECT_EQ(profile.GetList(ctHistory).Count(), 2);
    EXPECT_EQ(image.Files(), Texts{"global.dat"});
  }
}

TEST_F(CleanHistoryFileTest, SampleLosesOnlyTheRecordsBytes) {
  if (!HaveSamples())
    GTEST_SKIP() << "no Opera samples";
  Load(SampleBytes("plaso_global_history.dat"));
  TCacheList& list = profile.GetList(ctHistory);
  ASSERT_EQ(list.Count(), 37);
  const std::string record = list[5].Plaintext; // LF breaks, as the file has them
  TValidator v{{list[5].Path}};
  CleanHistoryFile(profile, v.Rule());
  std::string expected = original;
  expected.erase(expected.find(record), record.size());
  EXPECT_EQ(image.Read("global.dat"), expected);
  EXPECT_EQ(list.Count(), 36);
}

// --- hotlist -------------------------------------------------------------------------------

class CleanOperaHotlistTest : public ::testing::Test {
protected:
  void Load(const std::string& text) {
    original = text;
    profile.SetLocation(ctBookmarks, image.Put("Opera6.adr", text));
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctBookmarks);
  }
  TTextStoreImage image;
  TProfileStores profile;
  std::string original;
};

TEST_F(CleanOperaHotlistTest, DropsOnlyAcceptedBlocksAndBacksUpTheOriginal) {
  const std::string head = "Opera Hotlist version 2.0\r\n\r\n";
  const std::string folder = "#FOLDER\r\n\tNAME=Dev\r\n\r\n";
  const std::string a = "#URL\r\n\tNAME=A\r\n\tURL=http://a/\r\n\r\n";
  const std::string b = "#URL\r\n\tNAME=B\r\n\tURL=http://b/\r\n\r\n";
  Load(head + folder + a + b + "-\r\n\r\n" + a);
  TValidator v{{"Dev\\A"}};
  EXPECT_FALSE(CleanOperaHotlist(profile, v.Rule()).Failed(TStoreAccess::Change));
  EXPECT_EQ(v.asked, (Texts{"\\A", "Dev\\B", "Dev\\A"})); // last to first
  // The first of the two equal blocks goes; the one outside the folder stays.
  EXPECT_EQ(image.Read("Opera6.adr"), head + folder + b + "-\r\n\r\n" + a);
  EXPECT_EQ(image.Read("Opera6.adr.vext.bak"), original);
  EXPECT_EQ(Names(profile.GetList(ctBookmarks)), (Texts{"B", "A"}));
}

TEST_F(CleanOperaHotlistTest, FailedBackupOrWriteLeavesFileAndListAndSaysWhy) {
  Load("#URL\n\tNAME=A\n\tURL=http://a/\n\n#URL\n\tNAME=B\n\tURL=http://b/\n");
  for (const bool failCopy : {true, false}) {
    SCOPED_TRACE(failCopy ? "backup" : "write");
    image.Api().FailCopy = failCopy ? Always() : nullptr;
    image.Api().FailWrite = failCopy ? nullptr : Always();
    TValidator v{{"\\A"}};
    const TKindOutcome outcome =
        CleanOperaHotlist(profile, v.Rule()).Of(TStoreAccess::Change, ctBookmarks);
    EXPECT_EQ(outcome.Result, TKindResult::Failed);
    EXPECT_EQ(image.Read("Opera6.adr"), original);
    EXPECT_EQ(profile.GetList(ctBookmarks).Count(), 2);
    EXPECT_EQ(outcome.Reason.find("without a backup") != std::string::npos, failCopy);
  }
}

TEST_F(CleanOperaHotlistTest, SamplesLoseOnlyTheAcceptedBlock) {
  if (!HaveSamples())
    GTEST_SKIP() << "no Opera samples";
  for (const char* sample : {"magec_2009_bookmarks.adr", "danylyuk_opera12_bookmarks.adr"}) {
    SCOPED_TRACE(sample);
    Load(SampleBytes(sample));
    TCacheList& list = profile.GetList(ctBookmarks);
    ASSERT_EQ(list.Count(), 23);
    CleanOperaHotlist(profile, [](TCacheType, TCacheItem*, std::string o) {
      return TCleanDecision{false, o};
    });
    EXPECT_EQ(image.Read("Opera6.adr"), original);
    const std::string name = list[3].Name;
    TValidator v{{list[3].Path + "\\" + name}};
    CleanOperaHotlist(profile, v.Rule());
    const std::string after = *image.Read("Opera6.adr");
    // The block from its "#URL" line through its empty line is all that went.
    const std::size_t at = original.find("\tNAME=" + name + "\n");
    const std::size_t start = original.rfind("#URL\n", at);
    const std::size_t end = original.find("\n\n", at) + 2;
    EXPECT_EQ(after, std::string(original).erase(start, end - start));
    EXPECT_EQ(list.Count(), 22);
  }
}

// --- cache file names ----------------------------------------------------------------------

TEST(CacheFileStaysInside, OnlyRelativeNamesThatStayInTheFolder) {
  TTextStoreImage image;
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4")));
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4\\g_0001")));
  ASSERT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Elsewhere")));
  // Links as the image's system sees them: relative, one out of the folder and one within it.
  std::filesystem::create_directory_symlink("../Elsewhere",
                                            winapi::HostPath(TTextStoreImage::Path("Cache4\\out")));
  std::filesystem::create_directory_symlink("g_0001",
                                            winapi::HostPath(TTextStoreImage::Path("Cache4\\in")));
  const std::string folder = TTextStoreImage::Path("Cache4\\");
  const std::vector<std::pair<std::string, bool>> cases = {
      {"opr00001.tmp", true},
      {"g_0001\\opr0001A.tmp", true},
      {"in\\opr1.tmp", true},
      {"", false},
      {"..\\global.dat", false},
      {"g_0001\\..\\..\\x", false},
      {".. \\x", false},
      {"...", false},
      {"\\Profile\\x", false},
      {"C:\\Profile\\x", false},
      {"C:x", false},
      {"a/../../x", false},
      {"a\\\\b", false},
      {"x\n", false},
      {"out\\x.tmp", false},
      {"x*", false},
  };
  for (const auto& [name, inside] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(CacheFileStaysInside(folder, name), inside);
  }
}

// --- cookies4.dat --------------------------------------------------------------------------

// The cookies of a tree, "host/name" in file order, the hidden ones too.
Texts AllCookies(const std::string& bytes) {
  const auto root = TO4CookieRoot::FromBytes(bytes);
  Texts out;
  TO4DomainWalk walk(*root);
  while (const TO4Domain* node = walk.Next())
    for (const auto& cookie : node->Cookies())
      out.push_back(walk.FullName() + "/" + cookie->Name);
  return out;
}

class CleanO4CookiesTest : public ::testing::Test {
protected:
  CleanO4CookiesTest() {
    // example.com holds "id" twice (two paths' cookies of one name) and "sid"; ads.com refuses
    // cookies and keeps one the list does not show.
    TO4CookieRoot root;
    TO4Domain& com = root.AddDomain();
    com.Name = "com";
    TO4Domain& example = com.AddDomain();
    example.Name = "example";
    for (const char* name : {"id", "sid", "id"})
      example.AddCookie().Name = name;
    TO4Domain& ads = com.AddDomain();
    ads.Name = "ads";
    ads.AcceptType = 2;
    ads.AddCookie().Name = "track";
    original = root.SaveToBytes();
    profile.SetLocation(ctCookies, image.Put("cookies4.dat", original));
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCookies);
  }
  TTextStoreImage image;
  TProfileStores profile;
  std::string original;
};

TEST_F(CleanO4CookiesTest, RemovesAcceptedCookiesKeepsTheRestAndBacksUp) {
  ASSERT_EQ(profile.GetList(ctCookies).Count(), 3);
  // Asked last to first; each "id" finds the first listed entry of its pair still there.
  int askedId = 0;
  const TActionOutcome outcome =
      CleanO4Cookies(profile, [&](TCacheType, TCacheItem* item, std::string offered) {
        EXPECT_EQ(item->Name, offered);
        return TCleanDecision{offered == "id" && ++askedId == 1, offered};
      });
  EXPECT_FALSE(outcome.Failed(TStoreAccess::Change));
  EXPECT_EQ(AllCookies(*image.Read("cookies4.dat")),
            (Texts{"example.com/id", "example.com/sid", "ads.com/track"}));
  EXPECT_EQ(image.Read("cookies4.dat.vext.bak"), original);
  EXPECT_EQ(Names(profile.GetList(ctCookies)), (Texts{"sid", "id"}));
}

TEST_F(CleanO4CookiesTest, WithoutRuleOrAcceptanceOrWithAFailedSaveTheFileStays) {
  EXPECT_FALSE(CleanO4Cookies(profile, {}).Failed(TStoreAccess::Change));
  TValidator none{{}};
  CleanO4Cookies(profile, none.Rule());
  EXPECT_EQ(none.asked, (Texts{"id", "sid", "id"}));
  EXPECT_EQ(image.Files(), Texts{"cookies4.dat"});

  for (const bool failCopy : {true, false}) {
    SCOPED_TRACE(failCopy ? "backup" : "save");
    image.Api().FailCopy = failCopy ? Always() : nullptr;
    image.Api().FailWrite = failCopy ? nullptr : Always();
    TValidator v{{"sid"}};
    EXPECT_TRUE(CleanO4Cookies(profile, v.Rule()).Failed(TStoreAccess::Change, ctCookies));
    EXPECT_EQ(image.Read("cookies4.dat"), original);
    EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
  }
}

TEST_F(CleanO4CookiesTest, DamagedFileIsNeverSaved) {
  const std::string cut = original.substr(0, original.size() - 2);
  image.Put("cookies4.dat", cut);
  TValidator v{{"id", "sid"}};
  const TKindOutcome outcome =
      CleanO4Cookies(profile, v.Rule()).Of(TStoreAccess::Change, ctCookies);
  EXPECT_EQ(outcome.Result, TKindResult::Failed);
  EXPECT_NE(outcome.Reason.find("is damaged at byte"), std::string::npos) << outcome.Reason;
  EXPECT_TRUE(v.asked.empty());
  EXPECT_EQ(image.Read("cookies4.dat"), cut);
  EXPECT_EQ(image.Files(), Texts{"cookies4.dat"});
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 3);
}

TEST(CleanO4Cookies, SampleCleanedOfNothingStaysAndOfOneLosesOne) {
  if (!HaveSamples())
    GTEST_SKIP() << "no Opera samples";
  TTextStoreImage image;
  const std::string bytes = SampleBytes("danylyuk_opera12_cookies4.dat");
  TProfileStores profile;
  profile.SetLocation(ctCookies, image.Put("cookies4.dat", bytes));
  ASSERT_FALSE(
      BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCookies).Failed(TStoreAccess::Read));
  const int count = profile.GetList(ctCookies).Count();
  ASSERT_GT(count, 1);
  TValidator none{{}};
  CleanO4Cookies(profile, none.Rule());
  EXPECT_EQ(image.Read("cookies4.dat"), bytes);
  const std::string name = profile.GetList(ctCookies)[count / 2].Name;
  const std::string host = profile.GetList(ctCookies)[count / 2].Host;
  CleanO4Cookies(profile, [&](TCacheType, TCacheItem* item, std::string offered) {
    return TCleanDecision{item->Name == name && item->Host == host, offered};
  });
  Texts expected = AllCookies(bytes);
  expected.erase(std::find(expected.begin(), expected.end(), host + "/" + name));
  EXPECT_EQ(AllCookies(*image.Read("cookies4.dat")), expected);
  EXPECT_EQ(image.Read("cookies4.dat.vext.bak"), bytes);
}

// --- dcache4.url ---------------------------------------------------------------------------

class CleanO4CacheIndexTest : public ::testing::Test {
protected:
  CleanO4CacheIndexTest() {
    EXPECT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4")));
    EXPECT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Cache4\\g_0000")));
    EXPECT_TRUE(winapi::CreateDirectory(TTextStoreImage::Path("Elsewhere")));
    std::filesystem::create_directory_symlink(
        "../Elsewhere", winapi::HostPath(TTextStoreImage::Path("Cache4\\linked")));
    image.Put("global.dat", "keep");
    image.Put("Elsewhere/x.tmp", "keep");
    image.Put("Cache4/opr1.tmp", "1");
    image.Put("Cache4/g_0000/opr2.tmp", "2");
  }
  // Writes an index of (file name, URL) records and lists it.
  void Index(const std::vector<std::pair<std::string, std::string>>& records) {
    TO4CacheRoot root;
    for (const auto& [file, url] : records) {
      TO4CacheEntry& e = root.AddEntry();
      e.FileName = file;
      e.Url = url;
    }
    original = root.SaveToBytes();
    image.Put("Cache4/dcache4.url", original);
    profile.SetLocation(ctCache, TTextStoreImage::Path("Cache4\\"));
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCache);
  }
  Texts IndexUrls() {
    const auto root = TO4CacheRoot::FromBytes(*image.Read("Cache4/dcache4.url"));
    Texts urls;
    for (const auto& e : root->Entries())
      urls.push_back(e->Url);
    return urls;
  }
  TTextStoreImage image;
  TProfileStores profile;
  std::string original;
};

TEST_F(CleanO4CacheIndexTest, RemovesRecordsThenTheirFilesInsideTheFolderOnly) {
  Index({{"opr1.tmp", "http://1/"},
         {"g_0000\\opr2.tmp", "http://2/"},
         {"opr3.tmp", "http://kept/"},
         {"..\\global.dat", "http://evil/up"},
         {"linked\\x.tmp", "http://evil/link"},
         {"C:\\Profile\\global.dat", "http://evil/absolute"}});
  TValidator v{
      {"http://1/", "http://2/", "http://evil/up", "http://evil/link", "http://evil/absolute"}};
  const TKindOutcome outcome =
      CleanO4CacheIndex(profile, v.Rule()).Of(TStoreAccess::Change, ctCache);
  EXPECT_EQ(IndexUrls(), Texts{"http://kept/"});
  EXPECT_EQ(image.Read("Cache4/dcache4.url.vext.bak"), original);
  EXPECT_FALSE(image.Read("Cache4/opr1.tmp").has_value());
  EXPECT_FALSE(image.Read("Cache4/g_0000/opr2.tmp").has_value());
  EXPECT_EQ(image.Read("global.dat"), "keep");
  EXPECT_EQ(image.Read("Elsewhere/x.tmp"), "keep");
  // The three files that stayed are the clean's failure; the index no longer has them listed.
  EXPECT_EQ(outcome.Result, TKindResult::Failed);
  EXPECT_NE(outcome.Reason.find("3 files were left in place"), std::string::npos) << outcome.Reason;
  EXPECT_EQ(Names(profile.GetList(ctCache)), Texts{"opr3.tmp"});
}

TEST_F(CleanO4CacheIndexTest, FailedSaveKeepsIndexFilesAndList) {
  Index({{"opr1.tmp", "http://1/"}, {"g_0000\\opr2.tmp", "http://2/"}});
  image.Api().FailMove = Always();
  TValidator v{{"http://1/"}};
  EXPECT_TRUE(CleanO4CacheIndex(profile, v.Rule()).Failed(TStoreAccess::Change, ctCache));
  EXPECT_EQ(image.Read("Cache4/dcache4.url"), original);
  EXPECT_EQ(image.Read("Cache4/opr1.tmp"), "1");
  EXPECT_EQ(profile.GetList(ctCache).Count(), 2);
}

TEST_F(CleanO4CacheIndexTest, DamagedIndexIsNeverSavedNorItsFilesDeleted) {
  Index({{"opr1.tmp", "http://1/"}, {"g_0000\\opr2.tmp", "http://2/"}});
  const std::string cut = original.substr(0, original.size() - 2);
  image.Put("Cache4/dcache4.url", cut);
  TValidator v{{"http://1/"}};
  EXPECT_TRUE(CleanO4CacheIndex(profile, v.Rule()).Failed(TStoreAccess::Change, ctCache));
  EXPECT_EQ(image.Read("Cache4/dcache4.url"), cut);
  EXPECT_EQ(image.Read("Cache4/opr1.tmp"), "1");
  EXPECT_FALSE(image.Read("Cache4/dcache4.url.vext.bak").has_value());
}

} // namespace
