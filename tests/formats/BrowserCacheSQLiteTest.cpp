#include "formats/BrowserCacheSQLite.h"
#include "formats/StoreLimits.h"

#include "kit/SQLiteStoreWriter.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using namespace quillon;
namespace fs = std::filesystem;

namespace {

constexpr char kFolder[] = "C:\\Users\\alice\\Profile\\";

// 2009-06-15 12:00:00 UTC and 2010-01-01 12:00:00 UTC: noon, so the local day is the UTC day in
// any European zone.
constexpr std::int64_t kJune2009 = 1245067200;
constexpr std::int64_t kJan2010 = 1262347200;
constexpr std::int64_t kChromeEpochOffset = 11644473600;
constexpr std::int64_t ChromeTime(std::int64_t unixSeconds) {
  return (unixSeconds + kChromeEpochOffset) * 1000000;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

// Every file of a folder with its bytes.
std::map<std::string, std::string> FolderState(const std::string& folder) {
  std::map<std::string, std::string> state;
  for (const auto& entry : fs::directory_iterator(folder))
    state[entry.path().filename().string()] = ReadBytes(entry.path());
  return state;
}

void ExpectLocalDay(TDateTime date, int year, int month, int day) {
  TDateTimeParts parts;
  ASSERT_TRUE(TryDecodeDateTime(date, parts));
  EXPECT_EQ(parts.Year, year);
  EXPECT_EQ(parts.Month, month);
  EXPECT_EQ(parts.Day, day);
  // Noon UTC is 13:00 or 14:00 in Berlin, as the zone stood when the snapshot was taken.
  const char* tz = std::getenv("TZ");
  if (tz != nullptr && std::string(tz) == "Europe/Berlin") {
    EXPECT_TRUE(parts.Hour == 13 || parts.Hour == 14) << parts.Hour;
  }
}

std::int64_t Count(const std::string& hostFile, const std::string& sql) {
  TSQLiteDatabase db(hostFile, TSQLiteOpenMode::ReadOnly);
  const auto table = db.GetTable(sql);
  return table->ColumnInt64(0);
}

// A profile folder inside a fresh image, installed as the process's Windows.
class SQLiteStoreTest : public ::testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(ProfileHost());
    winapi::image::TImageConfig config;
    config.imageRoot = image_.Path();
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
    savedZone_ = TimeZoneSnapshot();
    TakeTimeZoneSnapshot();
  }
  void TearDown() override {
    SetTimeZoneSnapshot(savedZone_);
    scope_.reset();
  }

  std::string ProfileHost() const { return image_.Path() + "/Users/alice/Profile"; }
  std::string Host(const std::string& name) const { return ProfileHost() + "/" + name; }

  template <typename Store>
  std::unique_ptr<TCacheList> Read(bool expectFound = true, const std::string& folder = kFolder) {
    auto list = std::make_unique<TCacheList>();
    Store store(folder);
    EXPECT_EQ(store.ReadEntries(*list), expectFound);
    return list;
  }

  static std::vector<std::int64_t> Ids(const TCacheList& list) {
    std::vector<std::int64_t> ids;
    for (int i = 0; i < list.Count(); ++i)
      ids.push_back(list[i].DatabaseID);
    return ids;
  }
  // For listings whose statement sets no order.
  static std::vector<std::int64_t> SortedIds(const TCacheList& list) {
    std::vector<std::int64_t> ids = Ids(list);
    std::sort(ids.begin(), ids.end());
    return ids;
  }
  static const TCacheItem& ById(const TCacheList& list, std::int64_t id) {
    for (int i = 0; i < list.Count(); ++i)
      if (list[i].DatabaseID == id)
        return list[i];
    throw std::runtime_error("no entry " + std::to_string(id));
  }

  void WriteCookies() {
    kit::TFirefoxCookieRow secure;
    secure.Id = 7;
    secure.Name = "SID";
    secure.Value = "a1b2";
    secure.Host = ".example.com";
    secure.Path = "/account";
    secure.Expiry = kJan2010;
    secure.LastAccessed = kJune2009 * 1000000;
    secure.IsSecure = true;
    kit::TFirefoxCookieRow bare;
    bare.Id = 9;
    bare.Host = "plain.example.org";
    bare.Path = "/";
    kit::TFirefoxCookieRow third = secure;
    third.Id = 12;
    third.Name = "pref";
    third.IsSecure = false;
    kit::WriteFirefox3Cookies(Host("cookies.sqlite"), {secure, bare, third});
  }

  void WritePlaces() {
    kit::WriteFirefox3Places(
        Host("places.sqlite"),
        {{1, "http://www.mozilla.com/firefox/central/", "Getting Started", 3},
         {2, "http://news.example.com/", std::nullopt, 1},
         {3, "http://history-only.example.com/", "Visited, never bookmarked", 5}},
        {{1, 2, std::nullopt, 0, 0, std::nullopt, 0}, // places root folder
         {2, 2, std::nullopt, 1, 0, "Bookmarks Menu", 0},
         {10, 1, 1, 2, 0, "Getting Started", 0},
         {11, 1, 2, 2, 1, "News", 0},
         {12, 1, 1, 2, 2, "Getting Started again", 0}},
        {{1, 1, kJune2009 * 1000000}, {2, 3, kJune2009 * 1000000}});
  }

  void WriteHistory() {
    kit::WriteChromeHistory(
        Host("History"),
        {{1, "http://www.google.com/", "Google", 2, ChromeTime(kJune2009)},
         {2, "http://untitled.example.net/", std::nullopt, 1, ChromeTime(kJan2010)}},
        {{100, 1, ChromeTime(kJune2009)}, {101, 2, ChromeTime(kJan2010)}, {102, 1, 0}},
        {{1, 1, "Bookmarks bar", 0, ChromeTime(kJune2009), 0, 0},
         {2, 0, "Google", 1, ChromeTime(kJune2009), 1, ChromeTime(kJan2010)},
         {3, 0, "Untitled", 1, ChromeTime(kJune2009), 2, ChromeTime(kJune2009)}});
  }

  void WriteChromeCookies() {
    kit::WriteChromeCookies(
        Host("Cookies"),
        {{ChromeTime(kJune2009), ".google.com", "PREF", "ID=1", "/", ChromeTime(kJan2010), false,
          false, ChromeTime(kJune2009)},
         {ChromeTime(kJune2009) + 1, "mail.google.com", "GX", "xyz", "/mail", ChromeTime(kJan2010),
          true, true, ChromeTime(kJune2009)},
         {ChromeTime(kJan2010), ".example.com", "s", "1", "/", 0, false, false, 0}});
  }

  kit::TTempDir image_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
  TTimeZoneSnapshot savedZone_;
};

// --- Reading ------------------------------------------------------------------------------

TEST_F(SQLiteStoreTest, Firefox3CookiesFillTheirFieldsWithExpiryInUnixSeconds) {
  WriteCookies();
  const auto list = Read<TFirefox3Cookies>();
  ASSERT_EQ(list->Count(), 3);
  const TCacheItem& secure = (*list)[0];
  EXPECT_EQ(secure.DatabaseID, 7);
  EXPECT_EQ(secure.Name, "SID");
  EXPECT_EQ(secure.Content, "a1b2");
  EXPECT_EQ(secure.Host, ".example.com");
  EXPECT_EQ(secure.Path, "/account");
  EXPECT_TRUE(secure.ServerSecure);
  EXPECT_EQ(secure.Expires, UnixTimeToDateTime(kJan2010));
  ExpectLocalDay(secure.Expires, 2010, 1, 1);
  EXPECT_EQ(secure.LastAccess, 0); // not part of the cookie listing

  const TCacheItem& bare = (*list)[1];
  EXPECT_EQ(bare.DatabaseID, 9);
  EXPECT_EQ(bare.Name, "");
  EXPECT_EQ(bare.Content, "");
  EXPECT_FALSE(bare.ServerSecure);
  // An expiry of 0 is the Unix epoch in local time, not an absent date.
  EXPECT_EQ(bare.Expires, UnixTimeToDateTime(0));
  EXPECT_FALSE((*list)[2].ServerSecure);
}

TEST_F(SQLiteStoreTest, Firefox3BookmarksListEveryBookmarkRowWithItsPage) {
  WritePlaces();
  const auto list = Read<TFirefox3Bookmarks>();
  ASSERT_EQ(SortedIds(*list), (std::vector<std::int64_t>{1, 2, 10, 11, 12}));
  const TCacheItem& started = ById(*list, 10);
  EXPECT_EQ(started.Name, "Getting Started");
  EXPECT_EQ(started.Host, "http://www.mozilla.com/firefox/central/");
  EXPECT_EQ(started.LastAccess, 0); // the listing has no visit time
  // A page without a title, and a folder without a page.
  EXPECT_EQ(ById(*list, 11).Name, "");
  EXPECT_EQ(ById(*list, 11).Host, "http://news.example.com/");
  EXPECT_EQ(ById(*list, 1).Host, "");
}

TEST_F(SQLiteStoreTest, ChromeHistoryConvertsVisitTimesFromMicrosecondsSince1601) {
  WriteHistory();
  const auto list = Read<TChromeHistory>();
  ASSERT_EQ(Ids(*list), (std::vector<std::int64_t>{100, 101, 102}));
  EXPECT_EQ((*list)[0].Name, "Google");
  EXPECT_EQ((*list)[0].Host, "http://www.google.com/");
  EXPECT_EQ((*list)[0].LastAccess, UnixTimeToDateTime(kJune2009));
  ExpectLocalDay((*list)[0].LastAccess, 2009, 6, 15);
  EXPECT_EQ((*list)[1].Name, "");
  ExpectLocalDay((*list)[1].LastAccess, 2010, 1, 1);
  EXPECT_EQ((*list)[2].LastAccess, 0); // Chrome writes 0 for no time
}

TEST_F(SQLiteStoreTest, ChromeCookiesAreKeyedByCreationTime) {
  WriteChromeCookies();
  const auto list = Read<TChromeCookies>();
  ASSERT_EQ(list->Count(), 3);
  const TCacheItem& gx = (*list)[1];
  EXPECT_EQ(gx.DatabaseID, ChromeTime(kJune2009) + 1);
  EXPECT_EQ(gx.Name, "GX");
  EXPECT_EQ(gx.Content, "xyz");
  EXPECT_EQ(gx.Host, "mail.google.com");
  EXPECT_EQ(gx.Path, "/mail");
  EXPECT_TRUE(gx.ServerSecure);
  EXPECT_FALSE((*list)[0].ServerSecure);
  EXPECT_EQ(gx.Expires, 0); // not part of the cookie listing
}

TEST_F(SQLiteStoreTest, ChromeBookmarksLeaveOutFoldersAndConvertModificationTimes) {
  WriteHistory();
  const auto list = Read<TChromeBookmarks>();
  ASSERT_EQ(Ids(*list), (std::vector<std::int64_t>{2, 3}));
  EXPECT_EQ((*list)[0].Name, "Google"); // the page title, not the bookmark's
  EXPECT_EQ((*list)[0].Host, "http://www.google.com/");
  EXPECT_EQ((*list)[0].LastAccess, UnixTimeToDateTime(kJan2010));
  ExpectLocalDay((*list)[1].LastAccess, 2009, 6, 15);
}

TEST_F(SQLiteStoreTest, MissingDatabaseGivesNoEntriesAndCreatesNoFile) {
  const auto expectNothing = [&](auto&& store) {
    TCacheList list;
    EXPECT_FALSE(store.ReadEntries(list));
    EXPECT_EQ(list.Count(), 0);
    EXPECT_FALSE(store.DeleteMarked(list));
    TCacheItem item;
    EXPECT_FALSE(store.DeleteEntry(item));
    EXPECT_FALSE(store.DeleteAll());
  };
  expectNothing(TFirefox3Cookies(kFolder));
  expectNothing(TFirefox3Bookmarks(kFolder));
  expectNothing(TChromeHistory(kFolder));
  expectNothing(TChromeCookies(kFolder));
  expectNothing(TChromeBookmarks(kFolder));
  EXPECT_TRUE(fs::is_empty(ProfileHost()));
  // A folder that does not exist either.
  TCacheList list;
  EXPECT_FALSE(TChromeCookies("C:\\Users\\nobody\\").ReadEntries(list));
  EXPECT_FALSE(fs::exists(image_.Path() + "/Users/nobody"));
}

TEST_F(SQLiteStoreTest, ReadingLeavesTheDatabaseFolderByteForByteUnchanged) {
  WriteCookies();
  WritePlaces();
  WriteHistory();
  WriteChromeCookies();
  const auto before = FolderState(ProfileHost());
  EXPECT_EQ(Read<TFirefox3Cookies>()->Count(), 3);
  EXPECT_EQ(Read<TFirefox3Bookmarks>()->Count(), 5);
  EXPECT_EQ(Read<TChromeHistory>()->Count(), 3);
  EXPECT_EQ(Read<TChromeCookies>()->Count(), 3);
  EXPECT_EQ(Read<TChromeBookmarks>()->Count(), 2);
  EXPECT_EQ(FolderState(ProfileHost()), before);
}

TEST_F(SQLiteStoreTest, ReadingAWalDatabaseLeavesNoLogBehind) {
  WriteCookies();
  {
    TSQLiteDatabase db(Host("cookies.sqlite"), TSQLiteOpenMode::ReadWrite);
    db.GetTable("PRAGMA journal_mode=WAL;");
  }
  const auto before = FolderState(ProfileHost());
  ASSERT_EQ(before.size(), 1u); // the log is folded back when the writer closes
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{7, 9, 12}));
  EXPECT_EQ(FolderState(ProfileHost()), before);
}

TEST_F(SQLiteStoreTest, DatabaseWithoutTheTableGivesNoEntriesAndAForeignFileAnError) {
  WriteChromeCookies();
  fs::copy_file(Host("Cookies"), Host("History"));
  EXPECT_EQ(Read<TChromeHistory>(false)->Count(), 0);
  { std::ofstream(Host("cookies.sqlite")) << "not a database at all, just text\n"; }
  const auto before = FolderState(ProfileHost());
  TCacheList list;
  try {
    TFirefox3Cookies(kFolder).ReadEntries(list);
    ADD_FAILURE() << "no exception";
  } catch (const ESQLiteException& e) {
    EXPECT_EQ(std::string(e.what()),
              "Error executing SQL \"PRAGMA SYNCHRONOUS=NORMAL;\" : file is not a database");
  }
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(FolderState(ProfileHost()), before);
}

TEST_F(SQLiteStoreTest, RowsWhoseFieldsCannotBeReadAreLeftOutButBadDatesOnlyClearTheDate) {
  {
    TSQLiteDatabase db(Host("cookies.sqlite"), TSQLiteOpenMode::Create);
    db.ExecSQL("CREATE TABLE moz_cookies (id INTEGER PRIMARY KEY, name TEXT, value TEXT, host "
               "TEXT, path TEXT, expiry TEXT, isSecure TEXT)");
    db.ExecSQL("INSERT INTO moz_cookies VALUES (1, 'a', 'v', 'h', '/', 'soon', '1')");
    db.ExecSQL("INSERT INTO moz_cookies VALUES (2, 'b', 'v', 'h', '/', '1262347200', NULL)");
  }
  const auto list = Read<TFirefox3Cookies>();
  // Row 1 cannot give an integer for isSecure; row 2's null reads as 0. Neither expiry is an
  // integer column, so both dates stay unset.
  ASSERT_EQ(Ids(*list), (std::vector<std::int64_t>{2}));
  EXPECT_EQ((*list)[0].Name, "b");
  EXPECT_FALSE((*list)[0].ServerSecure);
  EXPECT_EQ((*list)[0].Expires, 0);
}

// --- Deleting -----------------------------------------------------------------------------

TEST_F(SQLiteStoreTest, DeleteMarkedRemovesExactlyTheMarkedRows) {
  WriteCookies();
  auto list = Read<TFirefox3Cookies>();
  (*list)[0].ToBeDeleted = true;
  (*list)[2].ToBeDeleted = true;
  TFirefox3Cookies store(kFolder);
  EXPECT_TRUE(store.DeleteMarked(*list));
  EXPECT_EQ(list->Count(), 3); // the entries stay until the profile is read again
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{9}));

  // Nothing marked: an empty transaction that changes nothing.
  auto rest = Read<TFirefox3Cookies>();
  EXPECT_TRUE(store.DeleteMarked(*rest));
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{9}));
}

TEST_F(SQLiteStoreTest, DeletingAChromeCookieRemovesTheRowWithItsCreationTime) {
  WriteChromeCookies();
  auto list = Read<TChromeCookies>();
  TChromeCookies store(kFolder);
  EXPECT_TRUE(store.DeleteEntry((*list)[1]));
  EXPECT_EQ(Ids(*Read<TChromeCookies>()),
            (std::vector<std::int64_t>{ChromeTime(kJune2009), ChromeTime(kJan2010)}));
  (*list)[2].ToBeDeleted = true;
  EXPECT_TRUE(store.DeleteMarked(*list));
  EXPECT_EQ(Ids(*Read<TChromeCookies>()), (std::vector<std::int64_t>{ChromeTime(kJune2009)}));
}

TEST_F(SQLiteStoreTest, DeletingAFirefoxBookmarkKeepsItsPageAndOtherBookmarks) {
  WritePlaces();
  auto list = Read<TFirefox3Bookmarks>();
  TFirefox3Bookmarks store(kFolder);
  EXPECT_TRUE(store.DeleteEntry(ById(*list, 10)));             // on page 1
  const_cast<TCacheItem&>(ById(*list, 11)).ToBeDeleted = true; // on page 2
  EXPECT_TRUE(store.DeleteMarked(*list));
  EXPECT_EQ(SortedIds(*Read<TFirefox3Bookmarks>()), (std::vector<std::int64_t>{1, 2, 12}));
  // Pages and visits are history; they stay, and bookmark 12 still shows page 1.
  EXPECT_EQ(Count(Host("places.sqlite"), "SELECT count(*) FROM moz_places"), 3);
  EXPECT_EQ(Count(Host("places.sqlite"), "SELECT count(*) FROM moz_historyvisits"), 2);
  EXPECT_EQ(ById(*Read<TFirefox3Bookmarks>(), 12).Host, "http://www.mozilla.com/firefox/central/");
}

TEST_F(SQLiteStoreTest, DeleteAllEmptiesOnlyTheStoresTable) {
  WriteHistory();
  EXPECT_TRUE(TChromeBookmarks(kFolder).DeleteAll());
  EXPECT_EQ(Read<TChromeBookmarks>()->Count(), 0);
  EXPECT_EQ(Read<TChromeHistory>()->Count(), 3);

  WritePlaces();
  EXPECT_TRUE(TFirefox3Bookmarks(kFolder).DeleteAll());
  // The places root and its menu folder stay; pages and visits are history.
  EXPECT_EQ(SortedIds(*Read<TFirefox3Bookmarks>()), (std::vector<std::int64_t>{1, 2}));
  EXPECT_EQ(Count(Host("places.sqlite"), "SELECT count(*) FROM moz_places"), 3);
  EXPECT_EQ(Count(Host("places.sqlite"), "SELECT count(*) FROM moz_historyvisits"), 2);
}

TEST_F(SQLiteStoreTest, PurgingChromeHistoryRemovesVisitsAndTheAddressesNoBookmarkUses) {
  kit::WriteChromeHistory(Host("History"),
                          {{1, "http://starred.example/", "Kept", 2, ChromeTime(kJune2009)},
                           {2, "http://visited.example/", "Secret title", 7, ChromeTime(kJan2010)}},
                          {{100, 1, ChromeTime(kJune2009)}, {101, 2, ChromeTime(kJan2010)}},
                          {{1, 1, "Bookmarks bar", 0, 0, 0, 0},
                           {2, 0, "Kept", 1, ChromeTime(kJune2009), 1, ChromeTime(kJan2010)}});
  EXPECT_TRUE(TChromeHistory(kFolder).DeleteAll());
  EXPECT_EQ(Read<TChromeHistory>()->Count(), 0);
  EXPECT_EQ(Count(Host("History"), "SELECT count(*) FROM urls WHERE id = 2"), 0);
  EXPECT_EQ(Count(Host("History"), "SELECT count(*) FROM urls"), 1);
  EXPECT_EQ(Ids(*Read<TChromeBookmarks>()), (std::vector<std::int64_t>{2}));
}

TEST_F(SQLiteStoreTest, FirefoxBookmarkRootsSurviveEveryDeletion) {
  WritePlaces();
  auto list = Read<TFirefox3Bookmarks>();
  for (int i = 0; i < list->Count(); ++i)
    (*list)[i].ToBeDeleted = true;
  TFirefox3Bookmarks store(kFolder);
  EXPECT_TRUE(store.DeleteEntry(ById(*list, 1)));
  EXPECT_TRUE(store.DeleteMarked(*list));
  EXPECT_EQ(SortedIds(*Read<TFirefox3Bookmarks>()), (std::vector<std::int64_t>{1, 2}));
}

TEST_F(SQLiteStoreTest, DeletionsOnALockedDatabaseFailAndDeleteNothing) {
  WriteCookies();
  auto list = Read<TFirefox3Cookies>();
  (*list)[0].ToBeDeleted = true;
  TFirefox3Cookies store(kFolder);
  TSQLiteDatabase browser(Host("cookies.sqlite"), TSQLiteOpenMode::ReadWrite);
  // The browser is writing: others may read but not write.
  browser.ExecSQL("BEGIN IMMEDIATE;");
  EXPECT_FALSE(store.DeleteMarked(*list));
  EXPECT_FALSE(store.DeleteEntry((*list)[1]));
  EXPECT_FALSE(store.DeleteAll());
  EXPECT_EQ(Read<TFirefox3Cookies>()->Count(), 3);
  browser.ExecSQL("COMMIT;");
  // The browser holds the database exclusively: not even a read gets through.
  browser.ExecSQL("BEGIN EXCLUSIVE;");
  EXPECT_FALSE(store.DeleteMarked(*list));
  TCacheList locked;
  EXPECT_THROW(store.ReadEntries(locked), ESQLiteException);
  EXPECT_EQ(locked.Count(), 0);
  browser.ExecSQL("COMMIT;");
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{7, 9, 12}));
}

// --- What an image may put in a store's place ---------------------------------------------

TEST_F(SQLiteStoreTest, AnEmptyStoreFileReadsAsNoEntriesAndNoDeletionWritesIt) {
  for (const char* name : {"cookies.sqlite", "places.sqlite", "Cookies", "History"})
    std::ofstream(Host(name), std::ios::binary).flush();
  const auto before = FolderState(ProfileHost());
  const auto expectUntouched = [&](auto&& store) {
    TCacheList list;
    EXPECT_FALSE(store.ReadEntries(list));
    EXPECT_EQ(list.Count(), 0);
    TCacheItem item;
    list.Add().ToBeDeleted = true;
    EXPECT_TRUE(store.DeleteMarked(list));
    EXPECT_TRUE(store.DeleteEntry(item));
    EXPECT_TRUE(store.DeleteAll());
  };
  expectUntouched(TFirefox3Cookies(kFolder));
  expectUntouched(TFirefox3Bookmarks(kFolder));
  expectUntouched(TChromeHistory(kFolder));
  expectUntouched(TChromeCookies(kFolder));
  expectUntouched(TChromeBookmarks(kFolder));
  EXPECT_EQ(FolderState(ProfileHost()), before);
}

// A database whose newest rows are still in its write-ahead log, as a running browser keeps it:
// the main file and its "-wal", copied while the writer had them open.
TEST_F(SQLiteStoreTest, AWalDatabaseIsReadWithItsLogAndNoFileIsCreated) {
  WriteCookies();
  const kit::TTempDir work;
  const std::string db = work.Path() + "/cookies.sqlite";
  fs::copy_file(Host("cookies.sqlite"), db);
  {
    TSQLiteDatabase writer(db, TSQLiteOpenMode::ReadWrite);
    writer.GetTable("PRAGMA journal_mode=WAL;");
    writer.GetTable("PRAGMA wal_autocheckpoint=0;");
    writer.ExecSQL("DELETE FROM moz_cookies WHERE id = 9");
    writer.ExecSQL("INSERT INTO moz_cookies (id, name, host, path) VALUES (20, 'n', 'h', '/')");
    fs::remove(Host("cookies.sqlite"));
    fs::copy_file(db, Host("cookies.sqlite"));
    fs::copy_file(db + "-wal", Host("cookies.sqlite-wal"));
  }
  const auto before = FolderState(ProfileHost());
  ASSERT_EQ(before.size(), 2u);
  ASSERT_GT(before.at("cookies.sqlite-wal").size(), 0u);
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{7, 12, 20}));
  EXPECT_EQ(FolderState(ProfileHost()), before);
}

// Each case puts something in the image that a write through SQLite must not go through; the
// store, and a host file a link points at, stay as they were.
TEST_F(SQLiteStoreTest, DeletionsRefuseAStoreThatMayNotChange) {
  const kit::TTempDir outside;
  const std::string canary = outside.Path() + "/canary";
  struct TCase {
    const char* name;
    std::function<void(const std::string& store)> make;
    std::string sidecar; // removed again before the store is read back
  };
  const auto link = [&](const std::string& path) { fs::create_symlink(canary, path); };
  const auto folder = [](const std::string& path) { fs::create_directory(path); };
  const auto pipe = [](const std::string& path) { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); };
  const auto readOnly = [](const std::string& store) {
    fs::permissions(store, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  };
  std::vector<TCase> cases = {{"read-only store", readOnly, ""}};
  for (const std::string suffix : {"-journal", "-wal", "-shm"}) {
    cases.push_back({"link", [=](const std::string& s) { link(s + suffix); }, suffix});
    cases.push_back({"folder", [=](const std::string& s) { folder(s + suffix); }, suffix});
    cases.push_back({"pipe", [=](const std::string& s) { pipe(s + suffix); }, suffix});
  }
  for (const TCase& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.sidecar);
    { std::ofstream(canary) << "host data"; }
    WriteCookies();
    auto list = Read<TFirefox3Cookies>(true);
    c.make(Host("cookies.sqlite"));
    const auto bytes = ReadBytes(Host("cookies.sqlite"));
    for (int i = 0; i < list->Count(); ++i)
      (*list)[i].ToBeDeleted = true;
    TFirefox3Cookies store(kFolder);
    winapi::SetLastError(0);
    EXPECT_FALSE(store.DeleteAll());
    EXPECT_EQ(winapi::GetLastError(), static_cast<winapi::DWORD>(winapi::ERROR_ACCESS_DENIED));
    EXPECT_FALSE(store.DeleteMarked(*list));
    EXPECT_FALSE(store.DeleteEntry((*list)[0]));
    EXPECT_EQ(ReadBytes(Host("cookies.sqlite")), bytes);
    EXPECT_EQ(ReadBytes(canary), "host data");
    if (!c.sidecar.empty())
      fs::remove(Host("cookies.sqlite") + c.sidecar);
    fs::permissions(Host("cookies.sqlite"), fs::perms::owner_write, fs::perm_options::add);
    EXPECT_EQ(Ids(*Read<TFirefox3Cookies>()), (std::vector<std::int64_t>{7, 9, 12}));
  }
}

TEST_F(SQLiteStoreTest, AStoreThatIsALinkIsNeitherReadNorChanged) {
  const kit::TTempDir outside;
  const std::string hostDb = outside.Path() + "/cookies.sqlite";
  kit::WriteFirefox3Cookies(hostDb, {{1, "secret", "v", ".bank.example", "/", 0, 0, true, true}});
  const std::string hostBytes = ReadBytes(hostDb);
  fs::create_symlink(hostDb, Host("cookies.sqlite"));

  TCacheList list;
  try {
    TFirefox3Cookies(kFolder).ReadEntries(list);
  } catch (const ESQLiteException&) {
  }
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(TFirefox3Cookies(kFolder).DeleteAll());
  EXPECT_EQ(ReadBytes(hostDb), hostBytes);
  // The layer itself opens no path that is or passes a link, in any mode.
  for (const TSQLiteOpenMode mode :
       {TSQLiteOpenMode::ReadOnly, TSQLiteOpenMode::ReadWrite, TSQLiteOpenMode::Create})
    EXPECT_THROW(TSQLiteDatabase(Host("cookies.sqlite"), mode), ESQLiteException);
  EXPECT_EQ(ReadBytes(hostDb), hostBytes);
}

// --- The SQLite layer ---------------------------------------------------------------------

class SQLiteLayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    db_ = std::make_unique<TSQLiteDatabase>(file_, TSQLiteOpenMode::Create);
    db_->ExecSQL("CREATE TABLE t (id INTEGER PRIMARY KEY, flag BOOLEAN, low integer, r REAL, "
                 "d DOUBLE, txt TEXT, vc LONGVARCHAR, b BLOB)");
  }
  std::string Message(const std::function<void()>& f) {
    try {
      f();
    } catch (const ESQLiteException& e) {
      return e.what();
    }
    return "(no exception)";
  }

  kit::TTempDir dir_;
  std::string file_ = dir_.Path() + "/t.db";
  std::unique_ptr<TSQLiteDatabase> db_;
};

TEST_F(SQLiteLayerTest, ColumnTypesFollowTheDeclarationAndExpressionsTheirFirstValue) {
  db_->ExecSQL("INSERT INTO t VALUES (1, 1, 5, 2.5, 7.75, 'ab' || char(0) || 'cd', 42, x'0001')");
  db_->ExecSQL("INSERT INTO t VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL, x'')");
  const auto table = db_->GetTable("SELECT *, id * 2 AS twice, NULL AS nada, 'x' AS word "
                                   "FROM t ORDER BY id");
  ASSERT_EQ(table->ColumnCount(), 11);
  const std::vector<TSQLiteColumnType> expected{dtInt, dtInt,  dtInt, dtNumeric, dtNumeric, dtStr,
                                                dtStr, dtBlob, dtInt, dtNull,    dtStr};
  for (int c = 0; c < table->ColumnCount(); ++c)
    EXPECT_EQ(table->ColumnType(c), expected[c]) << table->ColumnName(c);
  EXPECT_EQ(table->ColumnName(8), "TWICE");
  EXPECT_EQ(table->ColumnIndex("Txt"), 5);

  EXPECT_EQ(table->ColumnInt64(2), 5);
  EXPECT_EQ(table->ColumnInt64(3), 2); // a floating value, truncated
  EXPECT_EQ(table->ColumnText(3), "2.5");
  EXPECT_EQ(table->ColumnText(5), "ab"); // a text ends at its first zero byte
  EXPECT_EQ(table->ColumnText(6), "42");
  EXPECT_EQ(table->ColumnText(7), std::string("\0\1", 2));
  EXPECT_EQ(table->ColumnText(8), "2");
  ASSERT_TRUE(table->NextRow());
  EXPECT_EQ(table->ColumnInt64(1), 0);
  EXPECT_EQ(table->ColumnText(5), "");
  EXPECT_TRUE(table->ColumnIsNull(7)); // an empty blob is no value
  EXPECT_FALSE(table->AtEnd());
  ASSERT_TRUE(table->NextRow());
  EXPECT_TRUE(table->AtEnd());
  EXPECT_FALSE(table->NextRow());
}

TEST_F(SQLiteLayerTest, ErrorsCarryTheirMessages) {
  EXPECT_EQ(Message([&] { db_->ExecSQL("SELEC 1"); }),
            "Error executing SQL \"SELEC 1\" : near \"SELEC\": syntax error");
  EXPECT_EQ(Message([&] { db_->GetTable("  -- nothing "); }), "Could not prepare SQL statement");
  EXPECT_EQ(Message([&] { db_->ExecSQL("SELECT 1"); }), "Error executing SQL statement");
  db_->ExecSQL("INSERT INTO t (id) VALUES (1)");
  EXPECT_EQ(Message([&] { db_->ExecSQL("INSERT INTO t (id) VALUES (1)"); }),
            "Error executing SQL statement \"INSERT INTO t (id) VALUES (1)\" : UNIQUE constraint "
            "failed: t.id");
  EXPECT_EQ(Message([&] { db_->GetTable("SELECT abs(-9223372036854775807 - 1)"); }),
            "Could not retrieve data \"SELECT abs(-9223372036854775807 - 1)\" : integer overflow");

  db_->BeginTransaction();
  EXPECT_EQ(Message([&] { db_->BeginTransaction(); }), "Transaction already open");
  db_->Commit();

  const auto empty = db_->GetTable("SELECT id, txt FROM t WHERE id = 0");
  EXPECT_EQ(Message([&] { empty->ColumnInt64(0); }), "Table is at End of File");
  EXPECT_EQ(Message([&] { empty->ColumnIndex("nope"); }), "Field not found in dataset: nope");
  const auto noColumns = db_->GetTable("DELETE FROM t WHERE id = 0");
  EXPECT_EQ(Message([&] { noColumns->ColumnIndex("id"); }), "Field id Not found. Empty dataset");
  db_->ExecSQL("INSERT INTO t (id, txt) VALUES (2, '12')");
  const auto row = db_->GetTable("SELECT txt FROM t WHERE id = 2");
  EXPECT_EQ(Message([&] { row->ColumnInt64(0); }), "Not an integer or numeric field");

  const std::string missing = dir_.Path() + "/missing.db";
  EXPECT_EQ(Message([&] { TSQLiteDatabase(missing, TSQLiteOpenMode::ReadWrite); }),
            "Failed to open database \"" + missing + "\" : unable to open database file");
  EXPECT_EQ(Message([&] { TSQLiteDatabase(missing, TSQLiteOpenMode::ReadOnly); }),
            "Failed to open database \"" + missing + "\" : unable to open database file");
  EXPECT_FALSE(fs::exists(missing));
}

TEST_F(SQLiteLayerTest, AQueryOnALockedDatabaseReportsItBusy) {
  db_->ExecSQL("INSERT INTO t (id) VALUES (1)");
  TSQLiteDatabase browser(file_, TSQLiteOpenMode::ReadWrite);
  browser.ExecSQL("BEGIN EXCLUSIVE;");
  EXPECT_EQ(Message([&] { db_->GetTable("SELECT * FROM t"); }), "Could not prepare SQL statement");
  browser.ExecSQL("ROLLBACK;");
  EXPECT_EQ(db_->GetTable("SELECT * FROM t")->RowCount(), 1);
}

TEST_F(SQLiteLayerTest, AnOpenTransactionIsRolledBackWhenTheConnectionCloses) {
  db_->BeginTransaction();
  db_->ExecSQL("INSERT INTO t (id) VALUES (5)");
  db_.reset();
  EXPECT_EQ(Count(file_, "SELECT count(*) FROM t"), 0);
  EXPECT_TRUE(TSQLiteDatabase(file_, TSQLiteOpenMode::ReadOnly).TableExists("T"));
}

// --- Real browser files -------------------------------------------------------------------

// The rows of a statement as the sqlite3 shell lists them: key column -> text column (sent hex
// encoded, so that no value can break a line). nullopt without the shell.
std::optional<std::map<std::int64_t, std::string>> ShellRows(const std::string& file,
                                                             const std::string& statement,
                                                             const std::string& key,
                                                             const std::string& text) {
  if (!fs::exists("/usr/bin/sqlite3"))
    return std::nullopt;
  std::string select = statement;
  if (!select.empty() && select.back() == ';')
    select.pop_back();
  const std::string command = "/usr/bin/sqlite3 -readonly -separator ' ' '" + file + "' 'SELECT " +
                              key + ", hex(" + text + ") FROM (" + select + ")' 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr)
    return std::nullopt;
  std::map<std::int64_t, std::string> rows;
  std::string output;
  char buf[4096];
  while (fgets(buf, sizeof buf, pipe) != nullptr)
    output += buf;
  pclose(pipe);
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    std::istringstream fields(line);
    std::int64_t id = 0;
    std::string hex;
    fields >> id >> hex;
    std::string value;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      value += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    EXPECT_TRUE(rows.emplace(id, value).second) << "key " << id << " twice";
  }
  return rows;
}

// Samples are copied to a host folder of their own, mapped as drive S:.
class SQLiteSampleTest : public SQLiteStoreTest {
protected:
  void SetUp() override {
    SQLiteStoreTest::SetUp();
    winapi::image::TImageConfig config;
    config.imageRoot = image_.Path();
    config.drives['S'] = samples_.Path();
    scope_.reset();
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }

  // Copies a sample under the browser's file name; false when it is absent.
  bool Copy(const std::string& sample, const std::string& name) {
    const fs::path source = fs::path(QUILLON_SAMPLES_DIR) / sample;
    if (!fs::exists(source))
      return false;
    fs::remove(SampleHost(name));
    fs::copy_file(source, SampleHost(name));
    fs::permissions(SampleHost(name), fs::perms::owner_write, fs::perm_options::add);
    return true;
  }
  std::string SampleHost(const std::string& name) const { return samples_.Path() + "/" + name; }
  std::string SampleFolder() const { return winapi::WindowsPathFromHost(samples_.Path()) + "\\"; }

  // Reads the copy and compares each entry's Host with the shell's text of the column it comes
  // from, by key; the copy stays as it was.
  template <typename Store>
  void ExpectShellAgrees(const std::string& name, const std::string& key,
                         const std::string& hostColumn) {
    const std::string folder = SampleFolder();
    ASSERT_EQ(folder.substr(0, 3), "S:\\");
    Store store(folder);
    TCacheList list;
    const auto before = FolderState(samples_.Path());
    ASSERT_TRUE(store.ReadEntries(list));
    EXPECT_EQ(FolderState(samples_.Path()), before);
    EXPECT_GT(list.Count(), 0);
    const auto shell = ShellRows(SampleHost(name),
                                 store.UseQuery ? store.Query : "SELECT * FROM " + store.TableName,
                                 key, hostColumn);
    if (!shell)
      GTEST_SKIP() << "no sqlite3 shell to compare with";
    std::map<std::int64_t, std::string> ours;
    for (int i = 0; i < list.Count(); ++i)
      EXPECT_TRUE(ours.emplace(list[i].DatabaseID, list[i].Host).second);
    EXPECT_EQ(ours, *shell);
  }

  kit::TTempDir samples_;
};

TEST_F(SQLiteSampleTest, FirefoxCookiesFileInWalModeReadsAsTheShellDoes) {
  if (!Copy("firefox/plaso_firefox_10_cookies.sqlite", "cookies.sqlite"))
    GTEST_SKIP() << "sample firefox/plaso_firefox_10_cookies.sqlite absent";
  ExpectShellAgrees<TFirefox3Cookies>("cookies.sqlite", "id", "host");
  const auto list = Read<TFirefox3Cookies>(true, SampleFolder());
  for (int i = 0; i < list->Count(); ++i)
    EXPECT_FALSE((*list)[i].Host.empty());
}

TEST_F(SQLiteSampleTest, FirefoxPlacesBookmarksReadAsTheShellDoes) {
  if (!Copy("firefox/plaso_places.sqlite", "places.sqlite"))
    GTEST_SKIP() << "sample firefox/plaso_places.sqlite absent";
  ExpectShellAgrees<TFirefox3Bookmarks>("places.sqlite", "id", "url");
}

TEST_F(SQLiteSampleTest, ChromeCookiesReadAsTheShellDoes) {
  if (!Copy("chrome/plaso_cookies.db", "Cookies"))
    GTEST_SKIP() << "sample chrome/plaso_cookies.db absent";
  ExpectShellAgrees<TChromeCookies>("Cookies", "creation_utc", "host_key");
}

TEST_F(SQLiteSampleTest, ChromeHistoriesOfEveryVersionReadAsTheShellDoesWithPlausibleDates) {
  int seen = 0;
  for (const char* version : {"v01", "v10", "v20", "v30", "v60"}) {
    SCOPED_TRACE(version);
    if (!Copy(std::string("chrome/hindsight_") + version + "_History", "History"))
      continue;
    ++seen;
    ExpectShellAgrees<TChromeHistory>("History", "id", "url");
    const auto list = Read<TChromeHistory>(true, SampleFolder());
    for (int i = 0; i < list->Count(); ++i) {
      TDateTimeParts parts;
      ASSERT_TRUE(TryDecodeDateTime((*list)[i].LastAccess, parts));
      EXPECT_TRUE(parts.Year >= 2008 && parts.Year <= 2030) << parts.Year;
    }
    // These files are from after bookmarks moved out of the History database.
    EXPECT_EQ(Read<TChromeBookmarks>(false, SampleFolder())->Count(), 0);
  }
  if (seen == 0)
    GTEST_SKIP() << "no chrome/hindsight_v*_History sample";
}

TEST_F(SQLiteSampleTest, PurgingFirefoxBookmarksKeepsTheRootsAndTheHistory) {
  if (!Copy("firefox/plaso_places.sqlite", "places.sqlite"))
    GTEST_SKIP() << "sample firefox/plaso_places.sqlite absent";
  const std::string db = SampleHost("places.sqlite");
  const std::int64_t places = Count(db, "SELECT count(*) FROM moz_places");
  const std::int64_t visits = Count(db, "SELECT count(*) FROM moz_historyvisits");
  ASSERT_GT(Count(db, "SELECT count(*) FROM moz_bookmarks WHERE type = 1"), 0);
  EXPECT_TRUE(TFirefox3Bookmarks(SampleFolder()).DeleteAll());
  // The places root and the four roots it lists: menu, toolbar, tags, unfiled.
  EXPECT_EQ(SortedIds(*Read<TFirefox3Bookmarks>(true, SampleFolder())),
            (std::vector<std::int64_t>{1, 2, 3, 4, 5}));
  EXPECT_EQ(Count(db, "SELECT count(*) FROM moz_bookmarks_roots WHERE folder_id NOT IN (SELECT id "
                      "FROM moz_bookmarks)"),
            0);
  EXPECT_EQ(Count(db, "SELECT count(*) FROM moz_places"), places);
  EXPECT_EQ(Count(db, "SELECT count(*) FROM moz_historyvisits"), visits);
}

TEST_F(SQLiteSampleTest, PurgingAChromeHistoryWithoutBookmarksRemovesEveryAddress) {
  if (!Copy("chrome/hindsight_v30_History", "History"))
    GTEST_SKIP() << "sample chrome/hindsight_v30_History absent";
  ASSERT_GT(Count(SampleHost("History"), "SELECT count(*) FROM urls"), 0);
  EXPECT_TRUE(TChromeHistory(SampleFolder()).DeleteAll());
  EXPECT_EQ(Count(SampleHost("History"), "SELECT count(*) FROM urls"), 0);
  EXPECT_EQ(Count(SampleHost("History"), "SELECT count(*) FROM visits"), 0);
}

TEST_F(SQLiteSampleTest, DeletingFromAWalSampleRemovesTheRowsAndLeavesNoLog) {
  if (!Copy("firefox/plaso_firefox_10_cookies.sqlite", "cookies.sqlite"))
    GTEST_SKIP() << "sample firefox/plaso_firefox_10_cookies.sqlite absent";
  auto list = Read<TFirefox3Cookies>(true, SampleFolder());
  ASSERT_GE(list->Count(), 3);
  std::vector<std::int64_t> kept = Ids(*list);
  (*list)[0].ToBeDeleted = true;
  (*list)[2].ToBeDeleted = true;
  kept.erase(kept.begin() + 2);
  kept.erase(kept.begin());
  EXPECT_TRUE(TFirefox3Cookies(SampleFolder()).DeleteMarked(*list));
  EXPECT_EQ(Ids(*Read<TFirefox3Cookies>(true, SampleFolder())), kept);
  EXPECT_EQ(FolderState(samples_.Path()).size(), 1u);
}

} // namespace

namespace {

// Rows cost their entry however little they hold: a database of many empty rows is refused with
// nothing listed, one of real rows in a file of real size is read.
TEST_F(SQLiteStoreTest, ADatabaseOfManyTinyRowsIsRefusedBeforeItsRowsAreListed) {
  const auto fill = [&](int rows, const std::string& text) {
    fs::remove(Host("cookies.sqlite"));
    kit::WriteFirefox3Cookies(Host("cookies.sqlite"), {});
    TSQLiteDatabase db(Host("cookies.sqlite"), TSQLiteOpenMode::ReadWrite);
    db.BeginTransaction();
    const auto insert = db.Prepare("INSERT INTO moz_cookies (name, value, host, path) "
                                   "VALUES (?, ?, ?, ?)");
    for (int i = 0; i < rows; ++i) {
      for (int c = 1; c <= 4; ++c)
        insert->BindText(c, text.empty() ? text : text + std::to_string(i));
      insert->Execute();
    }
    db.Commit();
  };
  fill(800000, "");
  TCacheList list;
  TFirefox3Cookies tiny(kFolder);
  try {
    tiny.ReadEntries(list);
    ADD_FAILURE() << "read";
  } catch (const EFileTooLarge& e) {
    EXPECT_NE(std::string(e.what()).find("cookies.sqlite lists more than "), std::string::npos)
        << e.what();
  }
  EXPECT_EQ(list.Count(), 0);

  fill(100000, "cookie-host-or-value-text-");
  EXPECT_EQ(Read<TFirefox3Cookies>()->Count(), 100000);

  // A history whose addresses repeat one id joins every visit with every address: 4 million
  // rows from a small file, refused after counting no more than the budget allows.
  {
    TSQLiteDatabase db(Host("History"), TSQLiteOpenMode::Create);
    db.ExecSQL("CREATE TABLE visits (id INTEGER PRIMARY KEY, url INTEGER, visit_time INTEGER)");
    db.ExecSQL("CREATE TABLE urls (id INTEGER, url TEXT, title TEXT)");
    db.ExecSQL("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
               "INSERT INTO visits (url, visit_time) SELECT 1, i FROM n");
    db.ExecSQL("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000) "
               "INSERT INTO urls SELECT 1, 'u', 't' FROM n");
  }
  TChromeHistory joined(kFolder);
  EXPECT_THROW(joined.ReadEntries(list), EFileTooLarge);
  EXPECT_EQ(list.Count(), 0);
}

} // namespace
