// The main window over the real demo image: what the lists show, what clean and purge leave in
// the browsers' files, and that every visible list says what quillon-cli says.

#include "DemoWindow.h"
#include "cli/CliRun.h"
#include "discovery/ProcessSetup.h"
#include "kit/DemoImage.h"
#include "kit/TempDir.h"
#include "session/TerminalText.h"
#include "winapi/image/ImageWinApi.h"

#include <QAction>
#include <QTabWidget>
#include <QTableView>

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <utility>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using quillon::testing::Lines;
using quillon::testing::RunCli;

// Host and path of each cookie, in store order.
using TCookieKeys = std::vector<std::pair<std::string, std::string>>;

TCookieKeys ReadSQLiteCookies(const std::string& file) {
  TCookieKeys keys;
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* stmt = nullptr;
    sqlite3_prepare_v2(db, "SELECT host, path FROM moz_cookies ORDER BY id", -1, &stmt, nullptr);
    while (stmt != nullptr && sqlite3_step(stmt) == SQLITE_ROW)
      keys.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)),
                        reinterpret_cast<const char*>(sqlite3_column_text(stmt, 1)));
    sqlite3_finalize(stmt);
  }
  sqlite3_close(db);
  return keys;
}

TCookieKeys ReadCookiesTxt(const std::string& file) {
  TCookieKeys keys;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty() || line[0] == '#')
      continue;
    const std::size_t tab1 = line.find('\t');
    const std::size_t tab2 = line.find('\t', tab1 + 1);
    const std::size_t tab3 = line.find('\t', tab2 + 1);
    keys.emplace_back(line.substr(0, tab1), line.substr(tab2 + 1, tab3 - tab2 - 1));
  }
  return keys;
}

TCookieKeys WithoutAdvertisers(TCookieKeys keys) {
  std::erase_if(keys, [](const auto& key) {
    return key.first.find("advertising") != std::string::npos ||
           key.first.find("mediaplex") != std::string::npos;
  });
  return keys;
}

constexpr const char* kKinds[] = {"cache", "cookies", "history", "pages", "bookmarks"};
constexpr const char* kLists[] = {"lvCache", "lvCookies", "lvHistory", "lvPages", "lvBookmarks"};
constexpr const char* kTabs[] = {"tsCache", "tsCookies", "tsHistory", "tsStartpages",
                                 "tsBookmarks"};

class DemoWindowTest : public quillon::test::TDemoWindowTest {
protected:
  const QAbstractItemModel* Model(const char* list) const {
    return Child<QTableView>(list)->model();
  }
  int Rows(const char* list) const { return Model(list)->rowCount(); }
  std::string Cell(const char* list, int row, int column) const {
    return Model(list)->data(Model(list)->index(row, column)).toString().toStdString();
  }
  bool TabVisible(const char* tab) const {
    const auto* tabs = Child<QTabWidget>("pcBrowserInfo");
    return tabs->isTabVisible(tabs->indexOf(Child<QWidget>(tab)));
  }
};

const std::string kAliceFirefox =
    "Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/k3x9q2lm.default/";
const std::string kBobFirefox =
    "Users/bob/AppData/Roaming/Mozilla/Firefox/Profiles/w7p1c0de.default/";

TEST_F(DemoWindowTest, StartsOnTheFirstProfileAndShowsAlicesFirefoxWithItsDiscoveredCounts) {
  Open();
  const int count = window->Manager()->Profiles().Count();
  ASSERT_GT(count, 9);
  EXPECT_TRUE(Child<QToolButton>("profile0")->isChecked());
  for (int i = 1; i < count; ++i)
    EXPECT_FALSE(Child<QToolButton>("profile" + std::to_string(i))->isChecked()) << i;
  Click(ProfileNamed("alice (default)"));
  // Firefox 3 keeps no history.dat and the cache map of the demo is empty.
  const int expected[] = {0, 5, 0, 4, 6};
  for (int k = 0; k < 5; ++k)
    EXPECT_EQ(Rows(kLists[k]), expected[k]) << kLists[k];
  EXPECT_EQ(Cell("lvCookies", 1, 0), ".advertising.com/");
  EXPECT_TRUE(errors.empty());
}

TEST_F(DemoWindowTest, CleanCookiesRemovesOnlyTheAdvertisersFromBothStoreGenerations) {
  Open();
  const struct {
    int profile;
    std::string file;
    TCookieKeys (*read)(const std::string&);
  } cases[] = {
      {ProfileNamed("alice (default)"), Host(kAliceFirefox + "cookies.sqlite"), ReadSQLiteCookies},
      {ProfileNamed("bob (default)"), Host(kBobFirefox + "cookies.txt"), ReadCookiesTxt}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    Click(c.profile);
    const TCookieKeys before = c.read(c.file);
    const TCookieKeys expected = WithoutAdvertisers(before);
    ASSERT_EQ(Rows("lvCookies"), static_cast<int>(before.size()));
    ASSERT_LT(expected.size(), before.size());

    window->Action(aCleanCookies)->trigger();

    EXPECT_EQ(c.read(c.file), expected);
    ASSERT_EQ(Rows("lvCookies"), static_cast<int>(expected.size()));
    for (std::size_t row = 0; row < expected.size(); ++row)
      EXPECT_EQ(Cell("lvCookies", static_cast<int>(row), 0),
                expected[row].first + expected[row].second);
  }
  EXPECT_TRUE(errors.empty());
}

TEST_F(DemoWindowTest, PurgeCacheEmptiesTheCacheFolderButLeavesTheListAsItWas) {
  Open();
  Click(ProfileNamed("alice (default)"));
  const fs::path cache = Host(kAliceFirefox + "Cache");
  ASSERT_FALSE(fs::is_empty(cache));
  const int rows = Rows("lvCache");
  ASSERT_TRUE(window->Action(aPurgeCache)->isEnabled());

  window->Action(aPurgeCache)->trigger();

  EXPECT_TRUE(fs::is_empty(cache));
  EXPECT_EQ(Rows("lvCache"), rows);
  // Nothing but the cache went.
  EXPECT_EQ(ReadSQLiteCookies(Host(kAliceFirefox + "cookies.sqlite")).size(), 5u);
  EXPECT_EQ(Rows("lvCookies"), 5);
  EXPECT_TRUE(errors.empty());
}

TEST_F(DemoWindowTest, EveryVisibleListShowsWhatTheCliShows) {
  // The CLI sets up and tears down its own session, so it runs before the window's.
  auto args = CliImageArgs();
  args.push_back("profiles");
  const auto list = RunCli(args);
  ASSERT_EQ(list.code, 0) << list.err;
  const auto profiles = Lines(list.out);
  std::map<std::pair<int, int>, std::vector<std::string>> shown;
  for (int p = 0; p < static_cast<int>(profiles.size()); ++p)
    for (int k = 0; k < 5; ++k) {
      args = CliImageArgs();
      args.insert(args.end(), {"show", std::to_string(p), kKinds[k]});
      const auto run = RunCli(args);
      ASSERT_EQ(run.code, 0) << run.err;
      shown[{p, k}] = Lines(run.out);
    }
  Open();
  ASSERT_EQ(window->Manager()->Profiles().Count(), static_cast<int>(profiles.size()));
  int listsCompared = 0, rowsCompared = 0;
  for (int p = 0; p < static_cast<int>(profiles.size()); ++p) {
    Click(p);
    for (int k = 0; k < 5; ++k) {
      if (!TabVisible(kTabs[k]))
        continue;
      SCOPED_TRACE(profiles[p] + " " + kKinds[k]);
      const std::vector<std::string>& cli = shown[{p, k}];
      const QAbstractItemModel* model = Model(kLists[k]);
      std::string header;
      for (int c = 0; c < model->columnCount(); ++c)
        header += (c ? "\t" : "") + model->headerData(c, Qt::Horizontal).toString().toStdString();
      ASSERT_FALSE(cli.empty());
      EXPECT_EQ(header, cli[0]);
      ASSERT_EQ(model->rowCount() + 1, static_cast<int>(cli.size()));
      for (int r = 0; r < model->rowCount(); ++r, ++rowsCompared) {
        std::string line;
        for (int c = 0; c < model->columnCount(); ++c)
          line += (c ? "\t" : "") + TerminalText(Cell(kLists[k], r, c));
        EXPECT_EQ(line, cli[r + 1]);
      }
      ++listsCompared;
    }
  }
  // Every profile of the demo can be read, so at least one list per profile was compared.
  EXPECT_GE(listsCompared, static_cast<int>(profiles.size()));
  EXPECT_GT(rowsCompared, 100);
  EXPECT_TRUE(errors.empty());
}

} // namespace
