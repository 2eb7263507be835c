#include "helpers/MozillaCleaners.h"

#include "formats/TextStoreImage.h"
#include "kit/MozillaTextStores.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace quillon;
using quillon::kit::TBookmarkNode;
using quillon::test::Always;
using quillon::test::TTextStoreImage;
using Files = std::vector<std::string>;

namespace {

constexpr char kCookieHeader[] = "# HTTP Cookie File\n"
                                 "# http://www.netscape.com/newsref/std/cookie_spec.html\n"
                                 "# This is a generated file!  Do not edit.\n"
                                 "# To delete cookies, use the Cookie Manager.\n"
                                 "\n";

// Accepts the entries whose offered text is one of the given texts and records every question.
struct TValidator {
  explicit TValidator(std::vector<std::string> acceptTexts = {}, std::string replacementText = {})
      : accept(std::move(acceptTexts)), replacement(std::move(replacementText)) {}

  std::vector<std::string> accept;
  std::vector<std::string> asked;
  std::string replacement; // start pages: written instead of the preset text when set

  TCleanRule Rule() {
    return [this](TCacheType, TCacheItem* item, std::string offered) {
      EXPECT_NE(item, nullptr);
      asked.push_back(offered);
      const bool remove = std::find(accept.begin(), accept.end(), offered) != accept.end();
      return TCleanDecision{remove, remove && !replacement.empty() ? replacement : offered};
    };
  }
};

std::vector<std::string> Names(const TCacheList& list) {
  std::vector<std::string> names;
  for (int i = 0; i < list.Count(); ++i)
    names.push_back(list[i].Name);
  return names;
}

// --- cookies.txt -------------------------------------------------------------------------------

class CleanCookiesTxtTest : public ::testing::Test {
protected:
  CleanCookiesTxtTest() {
    cookies_ = {{".alpha.example", true, "/", false, 1900000000, "id", "1"},
                {"beta.example", false, "/shop", true, 1900000001, "cart", "a=b"},
                {".gamma.example", true, "/", false, 1900000002, "sid", "xyz"}};
    original_ = kit::BuildCookiesTxt(cookies_, {kit::TMozillaDialect::Netscape4, true});
    profile_.SetLocation(ctCookies, image_.Put("cookies.txt", original_));
    for (const kit::TCookieTxt& c : cookies_) {
      TCacheItem& item = profile_.GetList(ctCookies).Add();
      item.Host = c.Domain;
      item.Path = c.Path;
      item.Name = c.Name;
      item.Plaintext = kit::CookiesTxtLine(c);
    }
  }
  std::string Line(int i) const { return kit::CookiesTxtLine(cookies_[i]) + "\n"; }

  TTextStoreImage image_;
  TProfileStores profile_;
  std::vector<kit::TCookieTxt> cookies_;
  std::string original_;
};

TEST_F(CleanCookiesTxtTest, RemovesAcceptedCookiesAndWritesHeaderAndTheRest) {
  TValidator v{{"beta.example/shop"}};
  CleanCookiesTxt(profile_, v.Rule());
  EXPECT_EQ(v.asked,
            (Files{".gamma.example/", "beta.example/shop", ".alpha.example/"})); // last first
  EXPECT_EQ(Names(profile_.GetList(ctCookies)), (Files{"id", "sid"}));
  EXPECT_EQ(image_.Read("cookies.txt"), kCookieHeader + Line(0) + Line(2));
  EXPECT_EQ(image_.Files(), Files{"cookies.txt"});
}

TEST_F(CleanCookiesTxtTest, KeepsHeaderWhenEveryCookieIsRemoved) {
  TValidator v{{".alpha.example/", "beta.example/shop", ".gamma.example/"}};
  CleanCookiesTxt(profile_, v.Rule());
  EXPECT_EQ(profile_.GetList(ctCookies).Count(), 0);
  EXPECT_EQ(image_.Read("cookies.txt"), kCookieHeader);
}

TEST_F(CleanCookiesTxtTest, WithoutValidatorOrFileNothingChanges) {
  CleanCookiesTxt(profile_, {});
  EXPECT_EQ(image_.Read("cookies.txt"), original_);
  EXPECT_EQ(profile_.GetList(ctCookies).Count(), 3);

  profile_.SetLocation(ctCookies, TTextStoreImage::Path("gone.txt"));
  TValidator v{{".alpha.example/"}};
  CleanCookiesTxt(profile_, v.Rule());
  EXPECT_TRUE(v.asked.empty());
  EXPECT_EQ(profile_.GetList(ctCookies).Count(), 3);
  EXPECT_EQ(image_.Files(), Files{"cookies.txt"});
}

TEST_F(CleanCookiesTxtTest, FailedWriteOrRenameLeavesTheFileByteForByteAndSaysWhy) {
  const std::string store = TTextStoreImage::Path("cookies.txt");
  for (const bool failWrite : {true, false}) {
    SCOPED_TRACE(failWrite ? "write" : "rename");
    image_.Api().FailWrite = failWrite ? Always() : nullptr;
    image_.Api().FailMove = failWrite ? nullptr : Always();
    TValidator v{{".alpha.example/"}};
    const TKindOutcome outcome =
        CleanCookiesTxt(profile_, v.Rule()).Of(TStoreAccess::Change, ctCookies);
    EXPECT_EQ(image_.Read("cookies.txt"), original_);
    EXPECT_EQ(image_.Files(), Files{"cookies.txt"});
    EXPECT_EQ(outcome.Result, TKindResult::Failed);
    EXPECT_EQ(outcome.Reason,
              failWrite ? store + " could not be changed (There is not enough space on the disk.)"
                        : store + " is in use by another program (The process cannot access the "
                                  "file because it is being used by another process.)");
  }
}

// The list shows only lines with seven fields, sorted; the file keeps everything else where it
// was, and each accepted entry takes exactly one line of its text.
TEST_F(CleanCookiesTxtTest, KeepsEveryLineThatIsNotAnAcceptedEntryInFileOrder) {
  const std::string a = kit::CookiesTxtLine(cookies_[0]);
  const std::string c = kit::CookiesTxtLine(cookies_[2]);
  const std::string file = "# Netscape HTTP Cookie File\n\n" + c + "\n" +
                           "#HttpOnly_.secure.example\tTRUE\t/\tTRUE\t1900000000\ts\t1\n" + a +
                           "\n" + "# a comment between cookies\n" +
                           "empty.example\tFALSE\t/\tFALSE\t1900000000\tnovalue\n" + a + "\n" +
                           "x\tTRUE\t/\tFALSE\t1900000000\tname\tvalue\textra\n";
  image_.Put("cookies.txt", file);
  TValidator v{{".alpha.example/"}};
  CleanCookiesTxt(profile_, v.Rule());
  EXPECT_EQ(image_.Read("cookies.txt"),
            kCookieHeader + c + "\n" +
                "#HttpOnly_.secure.example\tTRUE\t/\tTRUE\t1900000000\ts\t1\n" +
                "# a comment between cookies\n" +
                "empty.example\tFALSE\t/\tFALSE\t1900000000\tnovalue\n" + a + "\n" +
                "x\tTRUE\t/\tFALSE\t1900000000\tname\tvalue\textra\n");
}

TEST_F(CleanCookiesTxtTest, AFileWithNothingToRemoveIsNotWritten) {
  for (const std::string& content : {std::string(), std::string("# only a comment\n")}) {
    image_.Put("cookies.txt", content);
    image_.Api().FailWrite = Always(); // a write would raise
    TValidator v{{".alpha.example/"}};
    EXPECT_NO_THROW(CleanCookiesTxt(profile_, v.Rule()));
    EXPECT_EQ(image_.Read("cookies.txt"), content);
    EXPECT_EQ(image_.Files(), Files{"cookies.txt"});
  }
}

// --- bookmarks.html ----------------------------------------------------------------------------

class CleanBookmarksHtmlTest : public ::testing::Test {
protected:
  void Write(const std::vector<TBookmarkNode>& tree, bool crLf) {
    std::vector<kit::TBookmarkRecord> records;
    original_ = kit::BuildBookmarksHtml(tree, {kit::TMozillaDialect::Mozilla, crLf}, &records);
    profile_.SetLocation(ctBookmarks, image_.Put("bookmarks.html", original_));
    TCacheList& list = profile_.GetList(ctBookmarks);
    list.Clear();
    for (const kit::TBookmarkRecord& r : records) {
      TCacheItem& item = list.Add();
      item.Name = r.Title;
      item.Host = r.Url;
      item.Path = r.FolderPath;
      item.Plaintext = r.Line;
    }
  }
  // The original's lines without the given anchor lines, each ended by CR LF.
  std::string Expected(const std::vector<std::string>& dropped) const {
    std::string out, line;
    for (std::size_t i = 0; i <= original_.size(); ++i) {
      if (i == original_.size() || original_[i] == '\n') {
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        if (!(i == original_.size() && line.empty()) &&
            std::find(dropped.begin(), dropped.end(), line) == dropped.end())
          out += line + "\r\n";
        line.clear();
      } else {
        line += original_[i];
      }
    }
    return out;
  }

  static std::vector<TBookmarkNode> Tree() {
    auto folder = TBookmarkNode::Folder(
        "Work & Play",
        {TBookmarkNode::Bookmark("News <daily>", "http://news.example/", 1100000000, 1100000500,
                                 "rdf:#$n1"),
         TBookmarkNode::Folder("Deep", {TBookmarkNode::Bookmark("Docs", "http://docs.example/")}),
         TBookmarkNode::Bookmark("Mail", "http://mail.example/")});
    folder.Description = "things";
    return {TBookmarkNode::Bookmark("Home", "http://home.example/", 1000000000), folder,
            TBookmarkNode::Separator(), TBookmarkNode::Bookmark("Mail", "http://mail.example/")};
  }

  TTextStoreImage image_;
  TProfileStores profile_;
  std::string original_;
};

TEST_F(CleanBookmarksHtmlTest, DropsRemovedAnchorsKeepsEveryOtherLineAndBacksUp) {
  Write(Tree(), false);
  const std::string news = profile_.GetList(ctBookmarks)[1].Plaintext;
  const std::string docs = profile_.GetList(ctBookmarks)[2].Plaintext;
  TValidator v{{"Work &amp; Play\\News &lt;daily&gt;", "Work &amp; Play\\Deep\\Docs"}};
  CleanBookmarksHtml(profile_, v.Rule());
  EXPECT_EQ(v.asked.front(), "\\Mail"); // last entry first; a top-level entry has no folder
  EXPECT_EQ(Names(profile_.GetList(ctBookmarks)), (Files{"Home", "Mail", "Mail"}));
  EXPECT_EQ(image_.Read("bookmarks.html"), Expected({news, docs}));
  EXPECT_EQ(image_.Read("bookmarks.html.vext.bak"), original_);
  EXPECT_EQ(image_.Files(), (Files{"bookmarks.html", "bookmarks.html.vext.bak"}));
}

// Lines are matched to entries by title and address only, so an anchor stays while any entry
// of that pair remains.
TEST_F(CleanBookmarksHtmlTest, AnchorStaysWhileAnEntryWithItsTitleAndAddressRemains) {
  Write(Tree(), true);
  const std::string innerMail = profile_.GetList(ctBookmarks)[3].Plaintext;
  const std::string outerMail = profile_.GetList(ctBookmarks)[4].Plaintext;
  ASSERT_NE(innerMail, outerMail);
  TValidator v{{"Work &amp; Play\\Mail"}};
  CleanBookmarksHtml(profile_, v.Rule());
  EXPECT_EQ(profile_.GetList(ctBookmarks).Count(), 4);
  EXPECT_EQ(image_.Read("bookmarks.html"), original_);

  TValidator all{{"\\Mail"}};
  CleanBookmarksHtml(profile_, all.Rule());
  EXPECT_EQ(image_.Read("bookmarks.html"), Expected({innerMail, outerMail}));
}

TEST_F(CleanBookmarksHtmlTest, OlderBackupIsReplaced) {
  Write(Tree(), true);
  image_.Put("bookmarks.html.vext.bak", "stale");
  TValidator v{{"\\Home"}};
  CleanBookmarksHtml(profile_, v.Rule());
  EXPECT_EQ(image_.Read("bookmarks.html.vext.bak"), original_);
}

TEST_F(CleanBookmarksHtmlTest, WithoutValidatorOrFileNothingIsWritten) {
  Write(Tree(), false);
  CleanBookmarksHtml(profile_, {});
  EXPECT_EQ(image_.Read("bookmarks.html"), original_);
  EXPECT_EQ(image_.Files(), Files{"bookmarks.html"});

  profile_.SetLocation(ctBookmarks, TTextStoreImage::Path("gone.html"));
  TValidator v{{"\\Home"}};
  CleanBookmarksHtml(profile_, v.Rule());
  EXPECT_EQ(profile_.GetList(ctBookmarks).Count(), 5);
  EXPECT_EQ(image_.Files(), Files{"bookmarks.html"});
}

TEST_F(CleanBookmarksHtmlTest, FailedRewriteLeavesTheFileByteForByte) {
  Write(Tree(), false);
  image_.Api().FailWrite = Always();
  TValidator v{{"\\Home"}};
  const TKindOutcome outcome =
      CleanBookmarksHtml(profile_, v.Rule()).Of(TStoreAccess::Change, ctBookmarks);
  EXPECT_EQ(image_.Read("bookmarks.html"), original_);
  EXPECT_EQ(image_.Read("bookmarks.html.vext.bak"), original_);
  EXPECT_EQ(image_.Files(), (Files{"bookmarks.html", "bookmarks.html.vext.bak"}));
  EXPECT_EQ(outcome.Reason, TTextStoreImage::Path("bookmarks.html") +
                                " could not be changed (There is not enough space on the disk.)");
}

TEST_F(CleanBookmarksHtmlTest, NoBackupNoRewrite) {
  Write(Tree(), false);
  image_.Api().FailCopy = Always();
  TValidator v{{"\\Home"}};
  const TKindOutcome outcome =
      CleanBookmarksHtml(profile_, v.Rule()).Of(TStoreAccess::Change, ctBookmarks);
  EXPECT_EQ(image_.Read("bookmarks.html"), original_);
  EXPECT_EQ(image_.Files(), Files{"bookmarks.html"});
  EXPECT_EQ(outcome.Reason, TTextStoreImage::Path("bookmarks.html.vext.bak") +
                                " could not be changed (There is not enough space on the disk.); "
                                "without a backup the bookmarks were left as they were");
}

// --- prefs.js ----------------------------------------------------------------------------------

class CleanPrefsPagesTest : public ::testing::Test {
protected:
  CleanPrefsPagesTest() {
    original_ =
        kit::BuildPrefsJs({{"browser.startup.homepage", "http://home.example/"},
                           {"browser.search.defaultengine", "Web \"Search\""},
                           {"browser.cache.disk.capacity", "50000", kit::TPrefKind::Integer},
                           {"network.proxy.no_proxies_on", "localhost, 127.0.0.1"}});
    profile_.SetLocation(ctPages, image_.Put("prefs.js", original_));
    for (const char* name : {"browser.search.defaultengine", "browser.startup.homepage",
                             "mailnews.start_page.url", "kmeleon.general.homePage"}) {
      TCacheItem& item = profile_.GetList(ctPages).Add();
      item.Name = name;
      item.Content = "old";
    }
  }
  // The saved file: our header in place of the browser's title line, every other line as it was
  // except the statements replaced, and the added statements at the end.
  std::string Expected(const std::vector<std::pair<std::string, std::string>>& replaced,
                       const std::string& added) const {
    std::string text = original_;
    text.replace(0, text.find("/*"),
                 "# Mozilla User Preferences\r\n# Modified by Brindleaf\r\n\r\n");
    for (const auto& [from, to] : replaced)
      text.replace(text.find(from), from.size(), to);
    return text + added;
  }

  TTextStoreImage image_;
  TProfileStores profile_;
  std::string original_;
};

TEST_F(CleanPrefsPagesTest, ResetSetsEveryPageToBlankAndAddsMissingOnes) {
  ResetPrefsPages(profile_);
  const std::string home = R"(user_pref("browser.startup.homepage", "http://home.example/");)";
  // The engine's statement holds escaped quotes, which the list does not take apart: it stays as
  // it was, and the statement appended for the page comes after it, where the browser's last
  // word on a preference counts.
  EXPECT_EQ(image_.Read("prefs.js"),
            Expected({{home, R"(user_pref("browser.startup.homepage", "about:blank");)"}},
                     "user_pref(\"browser.search.defaultengine\", \"about:blank\");\r\n"
                     "user_pref(\"mailnews.start_page.url\", \"about:blank\");\r\n"
                     "user_pref(\"kmeleon.general.homePage\", \"about:blank\");\r\n"));
  for (int i = 0; i < 4; ++i)
    EXPECT_EQ(profile_.GetList(ctPages)[i].Content, "about:blank");
  EXPECT_EQ(image_.Files(), Files{"prefs.js"});
}

TEST_F(CleanPrefsPagesTest, WritesWhatTheValidatorAnswersForAcceptedPagesOnly) {
  TValidator v({"about:blank"}, "http://start.example/");
  // Accept only the home page: the others are asked, answered "no".
  const TCleanRule rule = [&v](TCacheType t, TCacheItem* item, std::string offered) {
    if (item->Name == "browser.startup.homepage")
      return v.Rule()(t, item, std::move(offered));
    return TCleanDecision{false, std::move(offered)};
  };
  CleanPrefsPages(profile_, rule);
  const std::string home = R"(user_pref("browser.startup.homepage", "http://home.example/");)";
  EXPECT_EQ(
      image_.Read("prefs.js"),
      Expected({{home, R"(user_pref("browser.startup.homepage", "http://start.example/");)"}}, ""));
  EXPECT_EQ(profile_.GetList(ctPages)[1].Content, "http://start.example/");
  EXPECT_EQ(profile_.GetList(ctPages)[0].Content, "old");
}

TEST_F(CleanPrefsPagesTest, MissingFileIsLeftMissing) {
  profile_.SetLocation(ctPages, TTextStoreImage::Path("gone.js"));
  ResetPrefsPages(profile_);
  EXPECT_EQ(image_.Files(), Files{"prefs.js"});
  EXPECT_EQ(profile_.GetList(ctPages)[0].Content, "old");
}

TEST_F(CleanPrefsPagesTest, FailedWriteIsReportedAndKeepsFileAndList) {
  image_.Api().FailMove = Always();
  const TKindOutcome outcome = ResetPrefsPages(profile_).Of(TStoreAccess::Change, ctPages);
  EXPECT_EQ(outcome.Result, TKindResult::Failed);
  EXPECT_EQ(outcome.Reason, "Cannot create file \"" + TTextStoreImage::Path("prefs.js") +
                                "\". The process cannot access the file because it is being "
                                "used by another process.");
  EXPECT_EQ(image_.Read("prefs.js"), original_);
  EXPECT_EQ(image_.Files(), Files{"prefs.js"});
  EXPECT_EQ(profile_.GetList(ctPages)[0].Content, "old");
}

// A second reset finds every page blank already: a file that cannot be written any more (as a
// read-only prefs.js) is left alone instead of failing the clean.
TEST_F(CleanPrefsPagesTest, AFileWhosePagesHoldTheValuesAlreadyIsNotWritten) {
  ResetPrefsPages(profile_);
  const std::string reset = *image_.Read("prefs.js");
  image_.Api().FailWrite = Always();
  image_.Api().FailMove = Always();
  EXPECT_NO_THROW(ResetPrefsPages(profile_));
  EXPECT_EQ(image_.Read("prefs.js"), reset);
  EXPECT_EQ(profile_.GetList(ctPages)[0].Content, "about:blank");
  // One page that differs is a change again.
  TValidator v({"about:blank"}, "http://other.example/");
  EXPECT_EQ(CleanPrefsPages(profile_, v.Rule()).Of(TStoreAccess::Change, ctPages).Result,
            TKindResult::Failed);
}

} // namespace
