#include "kit/DemoImage.h"
#include "cli/Cli.h"
#include "cli/CliRun.h"
#include "formats/BrowserCacheSQLite.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageRegistry.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include <sqlite3.h>

namespace {

namespace fs = std::filesystem;
using namespace quillon;

std::map<std::string, std::string> ReadTree(const std::string& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file())
      continue;
    files[fs::relative(entry.path(), root).string()] = kit::ReadHostFile(entry.path());
  }
  return files;
}

TEST(DemoImage, IsWrittenTheSameEveryTime) {
  kit::TTempDir a, b;
  kit::WriteDemoImage(a.Path());
  kit::WriteDemoImage(b.Path());
  const auto first = ReadTree(a.Path());
  const auto second = ReadTree(b.Path());
  ASSERT_FALSE(first.empty());
  ASSERT_EQ(first.size(), second.size());
  for (const auto& [name, bytes] : first) {
    ASSERT_TRUE(second.count(name)) << name;
    EXPECT_TRUE(second.at(name) == bytes) << name << " differs";
  }
}

std::shared_ptr<winapi::image::TImageWinApi> Open(const std::string& root,
                                                  const std::string& user = {}) {
  winapi::image::TImageConfig config;
  config.imageRoot = root;
  config.user = user;
  return std::make_shared<winapi::image::TImageWinApi>(config);
}

TEST(DemoImage, LastLoggedOnUserIsTheDefaultAndEveryUserCanBeChosen) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  EXPECT_EQ(Open(dir.Path())->Registry().CurrentUserSid(), kit::kDemoUsers[0].sid);
  for (const auto& user : kit::kDemoUsers) {
    auto api = Open(dir.Path(), user.name);
    EXPECT_EQ(api->Registry().CurrentUserSid(), user.sid);
    std::string name;
    ASSERT_TRUE(api->accounts->UserName(name));
    EXPECT_EQ(name, user.name);
  }
}

TEST(DemoImage, ShellFoldersOfAUserWithoutThemFallBack) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  auto api = Open(dir.Path(), "bob");
  std::string appData;
  ASSERT_TRUE(api->accounts->SpecialFolder(winapi::CSIDL_APPDATA, appData));
  EXPECT_EQ(appData, "C:\\Users\\bob\\AppData\\Roaming");
  std::string programFiles;
  ASSERT_TRUE(api->accounts->SpecialFolder(winapi::CSIDL_PROGRAM_FILES, programFiles));
  EXPECT_EQ(programFiles, "C:\\Program Files (x86)");
}

TEST(DemoImage, CliRunsForEveryUser) {
  kit::TTempDir dir;
  kit::WriteDemoImage(dir.Path());
  for (const auto& user : kit::kDemoUsers) {
    for (const char* command : {"profiles", "log"}) {
      const std::vector<std::string> args = {"--image", dir.Path(), "--user", user.name, command};
      std::ostringstream out, err;
      EXPECT_EQ(cli::RunCli(args, out, err), 0) << user.name << " " << command << ": " << err.str();
    }
  }
}

} // namespace

namespace {

using quillon::testing::Lines;
using TRun = quillon::testing::TCliResult;

TRun Cli(std::vector<std::string> args) {
  return quillon::testing::RunCli(std::move(args));
}

// A fresh demo image for each test: the commands change it.
class DemoImageCli : public ::testing::Test {
protected:
  DemoImageCli() { kit::WriteDemoImage(image); }

  // The index of the n-th profile after Internet Explorer's and Opera's, which come first.
  std::string Index(int n) {
    if (ieProfiles < 0) {
      const TRun r = Cli({"--image", image, "profiles"});
      ieProfiles = 0;
      for (const std::string& line : Lines(r.out))
        ieProfiles += line.find("\tInternet Explorer\t") != std::string::npos ||
                      line.find("\tOpera ") != std::string::npos;
    }
    return std::to_string(ieProfiles + n);
  }

  kit::TTempDir dir;
  int ieProfiles = -1;
  const std::string image = dir.Path() + "/c";
  const std::string bob =
      image + "/Users/bob/AppData/Roaming/Mozilla/Firefox/Profiles/w7p1c0de.default/";
};

TEST_F(DemoImageCli, FindsEveryBrowserOfTheDemoUsers) {
  const TRun r = Cli({"--image", image, "--drive", "E=" + image + "-drive-E", "profiles"});
  ASSERT_EQ(r.code, 0) << r.err;
  const auto lines = Lines(r.out);
  std::vector<std::string> browsers;
  for (const auto& line : lines)
    if (line.find("\tInternet Explorer\t") == std::string::npos &&
        line.find("\tOpera ") == std::string::npos)
      browsers.push_back(line.substr(0, line.find('\t', line.find('\t', line.find('\t') + 1) + 1)));
  std::vector<std::string> expected;
  for (const char* browser :
       {"alice (default)\tFirefox", "bob (default)\tFirefox", "carol (default)\tFlock",
        "carol\tNetscape (4.x)", "default\tK-Meleon", "default\tMozilla", "Mobile Profile\tFirefox",
        "Mobile Profile\tFirefox", "Chrome\tChrome"})
    expected.push_back(Index(static_cast<int>(expected.size())) + "\t" + browser);
  EXPECT_EQ(browsers, expected);
}

TEST_F(DemoImageCli, CleanCookiesRemovesTheAdvertisersFromTheStore) {
  const TRun before = Cli({"--image", image, "show", Index(0), "cookies"});
  ASSERT_EQ(before.code, 0) << before.err;
  EXPECT_EQ(Lines(before.out).front(), "Host\tName\tExpires");
  EXPECT_EQ(Lines(before.out).size(), 6u);

  const TRun clean = Cli({"--image", image, "clean", Index(0), "cookies"});
  ASSERT_EQ(clean.code, 0) << clean.err;
  EXPECT_NE(clean.out.find("cookies\t5\t3"), std::string::npos) << clean.out;

  // A new run reads the store again.
  const TRun after = Cli({"--image", image, "show", Index(0), "cookies"});
  ASSERT_EQ(after.code, 0) << after.err;
  EXPECT_EQ(after.out.find("advertising.com"), std::string::npos);
  EXPECT_EQ(after.out.find("mediaplex"), std::string::npos);
  EXPECT_NE(after.out.find(".yahoo.com/\tadvertising_opt"), std::string::npos) << after.out;
  EXPECT_EQ(Lines(after.out).size(), 4u);
}

TEST_F(DemoImageCli, PurgeCookiesDeletesTheCookieFile) {
  const std::string cookies = bob + "cookies.txt";
  ASSERT_TRUE(fs::exists(cookies));
  const TRun purge = Cli({"--image", image, "purge", Index(1), "cookies"});
  ASSERT_EQ(purge.code, 0) << purge.err;
  EXPECT_NE(purge.out.find("cookies\t4\t0"), std::string::npos) << purge.out;
  EXPECT_FALSE(fs::exists(cookies));
}

// Rows of a table, read the way another program would; -1 when the database cannot be read.
int RowCount(const std::string& database, const std::string& table) {
  sqlite3* db = nullptr;
  int count = -1;
  if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, ("SELECT COUNT(*) FROM " + table).c_str(), -1, &statement,
                           nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
      count = sqlite3_column_int(statement, 0);
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return count;
}

// Every kind at once on the text generation of Firefox and on Chrome: the clean takes only what
// the rule names, the purge leaves each store empty or gone, and both keep the start pages'
// file in place.
TEST_F(DemoImageCli, CleanAllAndPurgeAllLeaveTheStoresAsTheRuleAndThePurgeSay) {
  const std::string bookmarksBefore = kit::ReadHostFile(bob + "bookmarks.html");
  ASSERT_FALSE(fs::is_empty(bob + "Cache"));

  const TRun clean = Cli({"--image", image, "clean", Index(1), "all"});
  ASSERT_EQ(clean.code, 0) << clean.err;
  const std::string cookies = kit::ReadHostFile(bob + "cookies.txt");
  EXPECT_EQ(cookies.find("advertising.com"), std::string::npos);
  EXPECT_EQ(cookies.find("mediaplex"), std::string::npos);
  EXPECT_NE(cookies.find(".example.com"), std::string::npos);
  EXPECT_NE(cookies.find(".wikipedia.org"), std::string::npos);
  const std::string bookmarks = kit::ReadHostFile(bob + "bookmarks.html");
  EXPECT_EQ(bookmarks.find("doubleclick.net"), std::string::npos);
  EXPECT_EQ(bookmarks.find("atdmt.com"), std::string::npos);
  EXPECT_NE(bookmarks.find("http://news.bbc.co.uk/"), std::string::npos);
  EXPECT_EQ(kit::ReadHostFile(bob + "bookmarks.html.vext.bak"), bookmarksBefore);
  EXPECT_NE(kit::ReadHostFile(bob + "prefs.js").find("http://www.mozilla.com/firefox/central/"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(bob + "history.dat"));

  const TRun purge = Cli({"--image", image, "purge", Index(1), "all"});
  ASSERT_EQ(purge.code, 0) << purge.err;
  EXPECT_FALSE(fs::exists(bob + "cookies.txt"));
  EXPECT_FALSE(fs::exists(bob + "bookmarks.html"));
  EXPECT_FALSE(fs::exists(bob + "history.dat"));
  const std::string prefs = kit::ReadHostFile(bob + "prefs.js");
  EXPECT_NE(prefs.find("\"browser.startup.homepage\", \"about:blank\""), std::string::npos)
      << prefs;
  EXPECT_TRUE(fs::is_empty(bob + "Cache"));

  const std::string chrome = image + "/Users/alice/AppData/Local/Google/Chrome/User Data/Default/";
  ASSERT_GT(RowCount(chrome + "History", "visits"), 0);
  ASSERT_GT(RowCount(chrome + "History", "starred"), 0);
  const TRun chromePurge =
      Cli({"--image", image, "--drive", "E=" + image + "-drive-E", "purge", Index(8), "all"});
  ASSERT_EQ(chromePurge.code, 0) << chromePurge.err;
  EXPECT_EQ(RowCount(chrome + "History", "visits"), 0);
  EXPECT_EQ(RowCount(chrome + "History", "starred"), 0);
  // Addresses go with their visits; none is a bookmark's any more.
  EXPECT_EQ(RowCount(chrome + "History", "urls"), 0);
  EXPECT_FALSE(fs::exists(chrome + "Cookies"));
}

// What the command line says about the stores it could not read or change: the counts first on
// stdout, then one stderr line per kind that could not be changed (exit 1); a store that cannot
// be read gives a warning only, and a clean that met no failure prints nothing on stderr.
// Per kind, what a dry run says a clean removes ("Cookies: 2 of 5 entries") or what the counts
// table of a real clean says it removed ("cookies\t5\t3"), by the command line's kind names.
std::map<std::string, int> PreviewedCounts(const std::string& out) {
  static const std::regex line(R"(^(Cache|Cookies|History|Start pages|Bookmarks): (\d+) of )");
  static const std::map<std::string, std::string> names = {{"Cache", "cache"},
                                                           {"Cookies", "cookies"},
                                                           {"History", "history"},
                                                           {"Start pages", "pages"},
                                                           {"Bookmarks", "bookmarks"}};
  std::map<std::string, int> counts;
  std::smatch match;
  for (const std::string& text : Lines(out))
    if (std::regex_search(text, match, line))
      counts[names.at(match[1])] = std::stoi(match[2]);
  return counts;
}

std::map<std::string, int> RemovedCounts(const std::string& out) {
  static const std::regex line(R"(^(cache|cookies|history|pages|bookmarks)\t(\d+)\t(\d+)$)");
  std::map<std::string, int> counts;
  std::smatch match;
  for (const std::string& text : Lines(out))
    if (std::regex_search(text, match, line) && match[2] != match[3])
      counts[match[1]] = std::stoi(match[2]) - std::stoi(match[3]);
  return counts;
}

// Every profile, clean and purge: a dry run leaves every file of the image as it was, wherever
// --dry-run stands after the command; and what a dry run of "clean all" lists is what the clean
// then removes, kind by kind.
TEST_F(DemoImageCli, DryRunChangesNoFileAndPreviewsExactlyWhatTheCleanRemoves) {
  const auto cli = [this](std::vector<std::string> args) {
    args.insert(args.begin(), {"--image", image, "--drive", "E=" + image + "-drive-E"});
    return Cli(std::move(args));
  };
  const int profiles = static_cast<int>(Lines(cli({"profiles"}).out).size());
  ASSERT_GT(profiles, 10);
  const auto files = ReadTree(dir.Path());
  for (int p = 0; p < profiles; ++p)
    for (const char* verb : {"clean", "purge"}) {
      SCOPED_TRACE(std::string(verb) + " " + std::to_string(p));
      const TRun r = p % 2 == 0 ? cli({verb, std::to_string(p), "all", "--dry-run"})
                                : cli({verb, "--dry-run", std::to_string(p), "all"});
      EXPECT_EQ(r.code, 0) << r.err;
      ASSERT_FALSE(r.out.empty());
      EXPECT_EQ(Lines(r.out).back(), "Dry run: nothing was changed.");
    }
  EXPECT_EQ(ReadTree(dir.Path()), files);

  int removed = 0;
  for (int p = 0; p < profiles; ++p) {
    SCOPED_TRACE("profile " + std::to_string(p));
    const TRun preview = cli({"clean", std::to_string(p), "all", "--dry-run"});
    const TRun clean = cli({"clean", std::to_string(p), "all"});
    ASSERT_EQ(clean.code, 0) << clean.err;
    std::map<std::string, int> previewed = PreviewedCounts(preview.out);
    std::erase_if(previewed, [](const auto& kind) { return kind.second == 0; });
    EXPECT_EQ(previewed, RemovedCounts(clean.out)) << preview.out << clean.out;
    for (const auto& kind : previewed)
      removed += kind.second;
  }
  // The demo has advertisers' cookies and bookmarks in many profiles.
  EXPECT_GT(removed, 10);
}

TEST_F(DemoImageCli, FailuresGoToStderrAfterTheCountsAndAFailedChangeExitsWith1) {
  const std::string aliceFolder =
      "Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/k3x9q2lm.default/";
  std::ofstream(image + "/" + aliceFolder + "cookies.sqlite", std::ios::binary | std::ios::trunc)
      << "held by a browser, and no database";
  // A browser in the middle of writing Chrome's history holds its database.
  TSQLiteDatabase browser(image +
                              "/Users/alice/AppData/Local/Google/Chrome/User Data/Default/History",
                          TSQLiteOpenMode::ReadWrite);
  browser.BeginWriteTransaction();

  const std::string aliceCookies =
      "C:\\Users\\alice\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\k3x9q2lm.default\\cookies."
      "sqlite";
  const std::string warning = "quillon-cli: warning: profile " + Index(0) +
                              " (alice (default)): cannot read the cookies: " + aliceCookies +
                              " cannot be read (file is not a database)";
  struct TCase {
    std::vector<std::string> args;
    int code;
    std::string firstLine;
    std::vector<std::string> err;
  };
  const std::vector<TCase> cases = {
      {{"profiles"}, 0, "0\t", {warning}},
      {{"show", Index(0), "cookies"}, 0, "Host\tName\tExpires", {warning}},
      {{"clean", Index(0), "cookies"},
       1,
       "Kind\tBefore\tAfter",
       {"quillon-cli: profile " + Index(0) + " (alice (default)): cookies: " + aliceCookies +
            " could not be changed (file is not a database)",
        warning}},
      {{"purge", Index(8), "history"},
       1,
       "Kind\tBefore\tAfter",
       {"quillon-cli: profile " + Index(8) +
        " (Chrome): history: "
        "C:\\Users\\alice\\AppData\\Local\\Google\\Chrome\\"
        "User Data\\Default\\History is in use by another program (The process cannot access "
        "the file because it is being used by another process.)"}},
      {{"clean", Index(1), "cookies"}, 0, "Kind\tBefore\tAfter", {}},
  };
  for (const TCase& c : cases) {
    std::vector<std::string> args = {"--image", image, "--drive", "E=" + image + "-drive-E"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    SCOPED_TRACE(c.args[0] + " " + (c.args.size() > 1 ? c.args[1] : ""));
    const TRun r = Cli(args);
    EXPECT_EQ(r.code, c.code);
    ASSERT_FALSE(r.out.empty());
    EXPECT_EQ(Lines(r.out).front().substr(0, c.firstLine.size()), c.firstLine);
    EXPECT_EQ(Lines(r.err), c.err);
  }
  // The database held by the browser was not changed.
  browser.Rollback();
  EXPECT_GT(RowCount(image + "/Users/alice/AppData/Local/Google/Chrome/User Data/Default/History",
                     "visits"),
            0);
}

} // namespace
