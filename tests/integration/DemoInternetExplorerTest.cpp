// Internet Explorer on a fresh demo image, through the command line as a user runs it: what clean
// and purge leave in the URL-cache containers (read back with msiecfexport), the hives and the
// favourites folders. DiscoveryOfDemoTest checks what the lists show.

#include "cli/CliRun.h"
#include "kit/DemoImage.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "winapi/MsiecfExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using quillon::testing::Lines;
using TRun = quillon::testing::TCliResult;
using TRows = std::vector<std::string>;

// alice's containers below the image root, by the kind they keep.
const std::string kLocal = "Users/alice/AppData/Local/Microsoft/Windows/";
const std::string kContent = kLocal + "Temporary Internet Files/Content.IE5/index.dat";
const std::string kCookies = "Users/alice/AppData/Roaming/Microsoft/Windows/Cookies/index.dat";
const std::string kHistory = kLocal + "History/History.IE5/index.dat";
const std::string kDay = kLocal + "History/History.IE5/MSHist012011030120110302/index.dat";
const std::vector<std::string> kContainers = {kContent, kCookies, kHistory, kDay};

class DemoInternetExplorer : public ::testing::Test {
protected:
  void SetUp() override {
    if (!test::MsiecfExportAvailable())
      GTEST_SKIP() << "msiecfexport (libmsiecf-utils) is not installed";
    kit::WriteDemoImage(image);
  }

  TRun Cli(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--image", image});
    return quillon::testing::RunCli(std::move(args));
  }

  // The rows of one list as the command line shows them, sorted: the URL cache hands its
  // entries out in the order of its hash table.
  TRows Show(const std::string& profile, const std::string& kind) const {
    const TRun r = Cli({"show", profile, kind});
    EXPECT_EQ(r.code, 0) << r.err;
    TRows rows = Lines(r.out);
    if (!rows.empty())
      rows.erase(rows.begin());
    std::sort(rows.begin(), rows.end());
    return rows;
  }

  // The records of a container as msiecfexport reads them: location, file name and cache folder
  // ("" for none), sorted by location.
  std::vector<std::array<std::string, 3>> Records(const std::string& container) const {
    std::vector<std::array<std::string, 3>> records;
    const auto lines = test::MsiecfExportLines(image + "/" + container);
    if (!lines) {
      ADD_FAILURE() << "msiecfexport cannot read " << container;
      return records;
    }
    for (const std::string& line : *lines) {
      std::vector<std::string> fields;
      std::istringstream in(line);
      for (std::string field; std::getline(in, field, '|');)
        fields.push_back(field);
      fields.resize(8);
      records.push_back({fields[1], fields[6], fields[7]});
    }
    std::sort(records.begin(), records.end());
    return records;
  }

  TRows Exported(const std::string& container) const {
    TRows locations;
    for (const auto& record : Records(container))
      locations.push_back(record[0]);
    return locations;
  }

  std::map<std::string, std::string> Containers() const {
    std::map<std::string, std::string> bytes;
    for (const std::string& c : kContainers)
      bytes[c] = kit::ReadHostFile(image + "/" + c);
    return bytes;
  }

  // The .url files below a user's favourites folder, relative to it.
  TRows Shortcuts(const std::string& user) const {
    TRows files;
    for (const auto& e : fs::recursive_directory_iterator(image + "/Users/" + user + "/Favorites"))
      if (e.is_regular_file() && e.path().extension() == ".url")
        files.push_back(fs::relative(e.path(), image + "/Users/" + user + "/Favorites").string());
    std::sort(files.begin(), files.end());
    return files;
  }

  kit::TTempDir dir;
  const std::string image = dir.Path() + "/c";
};

// Rows of a list that contain text.
TRows With(const TRows& rows, const std::string& text) {
  TRows found;
  std::copy_if(rows.begin(), rows.end(), std::back_inserter(found),
               [&text](const std::string& row) { return row.find(text) != std::string::npos; });
  return found;
}

const TRows kAliceCookies = {"Cookie:alice@ads.mediaplex.com/", "Cookie:alice@advertising.com/",
                             "Cookie:alice@doubleclick.net/",   "Cookie:alice@en.wikipedia.org/",
                             "Cookie:alice@google.com/",        "Cookie:alice@www.bbc.co.uk/news/"};
const TRows kAliceShortcuts = {"Ad offer.url",
                               "Broken.url",
                               "Links/BBC News.url",
                               "Links/Reading/Atlas.url",
                               "Links/Web Slice Gallery.url",
                               "Private/Bank.url",
                               "Wikipedia.url",
                               "wikipedia.url"};

// Every record msiecfexport finds names a file that is there: in its cache folder, or for a cookie
// in the container's own folder; history records name none.
TEST_F(DemoInternetExplorer, ContainersReadBackWithTheFilesTheyName) {
  struct TCase {
    std::string container;
    std::size_t count;
    std::string oneLocation;
    bool withFiles;
  };
  const std::vector<TCase> cases = {
      {kContent, 6, "http://www.google.com/images/logo.png", true},
      {kCookies, 6, "Cookie:alice@advertising.com/", true},
      {kHistory, 4, "Visited: alice@file:///C:/Users/alice/Documents/notes.txt", false},
      {kDay, 3, ":2011030120110302: alice@:Host: www.google.com", false},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.container);
    const auto records = Records(c.container);
    EXPECT_EQ(records.size(), c.count);
    EXPECT_EQ(With(Exported(c.container), c.oneLocation).size(), 1u);
    const fs::path folder = fs::path(image + "/" + c.container).parent_path();
    for (const auto& [location, file, cacheFolder] : records) {
      EXPECT_EQ(file.empty(), !c.withFiles) << location;
      if (!file.empty()) {
        EXPECT_TRUE(fs::is_regular_file(folder / cacheFolder / file)) << location;
      }
    }
  }
  EXPECT_EQ(Exported(kCookies), kAliceCookies);
}

// The rule takes every cached document with its file. IE keeps a cookie's whole key in the entry's
// path and no host, so the advertisers' cookies stay, as does the history.
TEST_F(DemoInternetExplorer, CleanTakesEveryCachedDocumentAndNoCookie) {
  const auto before = Containers();
  const TRun clean = Cli({"clean", "0", "cache,cookies,history"});
  ASSERT_EQ(clean.code, 0) << clean.err;

  EXPECT_EQ(Exported(kContent), TRows{});
  const std::string content = image + "/" + kLocal + "Temporary Internet Files/Content.IE5/";
  for (const char* file : {"6Q2J8KMT/news[1].htm", "LW1N5E9P/logo[1].png", "B3X0R7ZC/x[1].htm"})
    EXPECT_FALSE(fs::exists(content + file)) << file;
  EXPECT_TRUE(fs::is_directory(content + "6Q2J8KMT"));
  for (const std::string& unchanged : {kCookies, kHistory, kDay})
    EXPECT_EQ(kit::ReadHostFile(image + "/" + unchanged), before.at(unchanged)) << unchanged;
  EXPECT_TRUE(fs::exists(image + "/Users/alice/AppData/Roaming/Microsoft/Windows/Cookies/"
                                 "alice@advertising[1].txt"));
  EXPECT_EQ(Show("0", "cookies").size(), 6u);
}

// Each kind of the URL cache empties its own containers and leaves the others' bytes alone.
TEST_F(DemoInternetExplorer, PurgeEmptiesTheContainersOfItsKindOnly) {
  const std::map<std::string, std::vector<std::string>> purged = {
      {"cache", {kContent}}, {"cookies", {kCookies}}, {"history", {kHistory, kDay}}};
  for (const auto& [kind, containers] : purged) {
    SCOPED_TRACE(kind);
    kit::WriteDemoImage(image);
    const auto before = Containers();
    const TRun purge = Cli({"purge", "0", kind});
    ASSERT_EQ(purge.code, 0) << purge.err;
    for (const std::string& c : kContainers) {
      if (std::count(containers.begin(), containers.end(), c) != 0)
        EXPECT_EQ(Exported(c), TRows{}) << c;
      else
        EXPECT_EQ(kit::ReadHostFile(image + "/" + c), before.at(c)) << c;
    }
    EXPECT_EQ(Show("0", kind), TRows{});
  }
}

// Every page goes to about:blank through the 32-bit view: the machine's 64-bit values stay.
TEST_F(DemoInternetExplorer, PurgePagesWritesAboutBlankThroughThe32BitView) {
  const TRows native = With(Show("0", "pages"), "\t64\t");
  const TRun purge = Cli({"purge", "0", "pages"});
  ASSERT_EQ(purge.code, 0) << purge.err;
  const TRows after = Show("0", "pages");
  EXPECT_EQ(With(after, "about:blank\t32\t").size(), 11u);
  // alice's hive has one key for both views; the machine's 64-bit keys are not written.
  EXPECT_EQ(With(after, "about:blank\t64\t").size(), 7u);
  EXPECT_EQ(With(after, "http://go.microsoft.com/fwlink/?LinkId=69157\t64\tStart Page").size(), 1u);
  EXPECT_EQ(With(after, "\t64\t").size(), native.size());
}

TEST_F(DemoInternetExplorer, PurgeBookmarksDeletesTheShortcutsOfThatUserOnly) {
  ASSERT_EQ(Shortcuts("alice"), kAliceShortcuts);
  const TRows bobs = Shortcuts("bob");
  const TRun purge = Cli({"purge", "0", "bookmarks"});
  ASSERT_EQ(purge.code, 0) << purge.err;
  EXPECT_EQ(Shortcuts("alice"), TRows{});
  EXPECT_TRUE(fs::exists(image + "/Users/alice/Favorites/desktop.ini"));
  EXPECT_TRUE(fs::is_directory(image + "/Users/alice/Favorites/Links/Reading"));
  EXPECT_EQ(Shortcuts("bob"), bobs);
}

// Another user's profile reaches only his pages and favourites: the URL cache the image serves is
// the running user's, and alice's containers stay as they are whoever runs and whatever profile
// is cleaned and purged. Profile 1 is bob's when alice runs, alice's when bob runs.
TEST_F(DemoInternetExplorer, AnotherUsersCleanAndPurgeNeverTouchAlicesUrlCache) {
  struct TCase {
    std::string runningUser, otherUser;
    TRows shortcutsAfterClean;
  };
  const std::vector<TCase> cases = {
      {"alice", "bob", {"Links/Google.url", "Mozilla.url"}},
      {"bob",
       "alice",
       {"Broken.url", "Links/BBC News.url", "Links/Web Slice Gallery.url", "Private/Bank.url",
        "Wikipedia.url", "wikipedia.url"}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.runningUser);
    kit::WriteDemoImage(image);
    const auto before = Containers();
    const TRun clean = Cli({"--user", c.runningUser, "clean", "1", "all"});
    ASSERT_EQ(clean.code, 0) << clean.err;
    EXPECT_EQ(Shortcuts(c.otherUser), c.shortcutsAfterClean);
    const TRun purge = Cli({"--user", c.runningUser, "purge", "1", "all"});
    ASSERT_EQ(purge.code, 0) << purge.err;
    EXPECT_EQ(Shortcuts(c.otherUser), TRows{});
    EXPECT_EQ(Containers(), before);
  }
}

} // namespace
