// quillon-cli.exe as a user runs it on Windows: a process of its own, on the running system's
// folders and URL cache, with the list file beside it.

#include "kit/SQLiteStoreWriter.h"
#include "platform/PEVersions.h"
#include "winapi/WinApi.h"
#include "winapi/native/NativeBackend.h"
#include "windows/Win32Calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace quillon {
namespace {

using test::CommitCookieEntry;
using test::FolderOfTests;
using test::RunBesideTests;
using test::TRun;
using test::UrlCacheHolds;

TRun RunCli(const std::string& arguments) {
  return RunBesideTests("quillon-cli.exe", arguments);
}

// The rows of quillon-cli's tab-separated output.
std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> cells;
    std::size_t begin = 0;
    for (std::size_t tab; (tab = line.find('\t', begin)) != std::string::npos; begin = tab + 1)
      cells.push_back(line.substr(begin, tab - begin));
    cells.push_back(line.substr(begin));
    rows.push_back(std::move(cells));
  }
  return rows;
}

// A profiles row: index, name, browser, version, tag, location, then the five counts.
const std::vector<std::string>* FindProfile(const std::vector<std::vector<std::string>>& rows,
                                            const std::string& browser,
                                            const std::string& location) {
  for (const auto& row : rows)
    if (row.size() == 11 && row[2] == browser && row[5] == location)
      return &row;
  return nullptr;
}

// The names of the files in folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  winapi::WIN32_FIND_DATA data;
  const winapi::HANDLE find = winapi::FindFirstFile(folder + "*", data);
  if (find == winapi::INVALID_HANDLE_VALUE)
    return names;
  do {
    if ((data.dwFileAttributes & winapi::FILE_ATTRIBUTE_DIRECTORY) == 0)
      names.emplace_back(data.cFileName);
  } while (winapi::FindNextFile(find, data));
  winapi::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

class ProgramOnWindows : public ::testing::Test {
protected:
  // The files are made through the native backend, as any other program of the user would.
  winapi::TWinApiScope scope_{winapi::native::NativeWinApi()};

  static std::string AppData() {
    std::string folder;
    EXPECT_TRUE(winapi::SHGetSpecialFolderPath(winapi::CSIDL_APPDATA, folder));
    return folder + "\\";
  }
};

TEST_F(ProgramOnWindows, ListsCleansAndPurgesAFirefoxProfileMadeInAppData) {
  const std::string firefox = AppData() + "Mozilla\\Firefox\\";
  const std::string profile = firefox + "Profiles\\q1w2e3.default\\";
  ASSERT_TRUE(winapi::CreateDirectory(AppData() + "Mozilla"));
  ASSERT_TRUE(winapi::CreateDirectory(firefox));
  ASSERT_TRUE(winapi::CreateDirectory(firefox + "Profiles"));
  ASSERT_TRUE(winapi::CreateDirectory(profile));
  ASSERT_TRUE(winapi::WriteWholeFile(firefox + "profiles.ini",
                                     "[General]\r\nStartWithLastProfile=1\r\n\r\n[Profile0]\r\n"
                                     "Name=default\r\nIsRelative=1\r\n"
                                     "Path=Profiles/q1w2e3.default\r\nDefault=1\r\n"));
  ASSERT_TRUE(winapi::WriteWholeFile(
      profile + "prefs.js", "user_pref(\"browser.startup.homepage\", \"http://start.test/\");\n"));
  kit::WriteFirefox3Cookies(winapi::HostPath(profile + "cookies.sqlite"),
                            {{1, "id", "1", ".alpha.test", "/", 4102444800, 1, false, false},
                             {2, "id", "2", ".advertising.test", "/", 4102444800, 1, false, false},
                             {3, "id", "3", ".beta.test", "/", 4102444800, 1, false, false}});

  const TRun profiles = RunCli("profiles");
  ASSERT_EQ(profiles.exitCode, 0u) << profiles.err;
  const auto rows = Rows(profiles.out);
  const auto* row = FindProfile(rows, "Firefox", profile);
  ASSERT_NE(row, nullptr) << profiles.out;
  EXPECT_EQ((*row)[4], "3"); // cookies.sqlite: a Firefox 3 profile
  EXPECT_EQ((*row)[7], "3");
  const std::string index = (*row)[0];

  const TRun shown = RunCli("show " + index + " cookies");
  EXPECT_EQ(shown.exitCode, 0u) << shown.err;
  EXPECT_NE(shown.out.find(".alpha.test"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find(".beta.test"), std::string::npos) << shown.out;

  std::string before;
  ASSERT_TRUE(winapi::ReadWholeFile(profile + "cookies.sqlite", before));
  const TRun dryRun = RunCli("purge " + index + " cookies --dry-run");
  EXPECT_EQ(dryRun.exitCode, 0u) << dryRun.err;
  std::string after;
  ASSERT_TRUE(winapi::ReadWholeFile(profile + "cookies.sqlite", after));
  EXPECT_EQ(after, before) << "a dry run changed the store";

  // The clean rule takes advertising hosts; the store is rewritten beside and moved into place.
  const TRun cleaned = RunCli("clean " + index + " cookies");
  EXPECT_EQ(cleaned.exitCode, 0u) << cleaned.err;
  const TRun remaining = RunCli("show " + index + " cookies");
  EXPECT_NE(remaining.out.find(".alpha.test"), std::string::npos) << remaining.out;
  EXPECT_EQ(remaining.out.find(".advertising.test"), std::string::npos) << remaining.out;
  EXPECT_NE(remaining.out.find(".beta.test"), std::string::npos) << remaining.out;
  EXPECT_EQ(FilesIn(profile), (std::vector<std::string>{"cookies.sqlite", "prefs.js"}))
      << "the clean left a file behind";

  const TRun purged = RunCli("purge " + index + " cookies");
  EXPECT_EQ(purged.exitCode, 0u) << purged.err;
  const TRun again = RunCli("profiles");
  const auto rowsAfter = Rows(again.out);
  row = FindProfile(rowsAfter, "Firefox", profile);
  ASSERT_NE(row, nullptr) << again.out;
  EXPECT_EQ((*row)[7], "0");
  EXPECT_EQ((*row)[9], "4") << "the start pages are another kind and stay";

  for (const std::string& file :
       {profile + "prefs.js", profile + "cookies.sqlite", firefox + "profiles.ini"})
    winapi::DeleteFile(file);
  for (const std::string& folder : {profile, firefox + "Profiles", firefox, AppData() + "Mozilla"})
    winapi::RemoveDirectory(folder);
}

TEST_F(ProgramOnWindows, ShowsAndPurgesTheRunningUsersUrlCacheCookies) {
  std::string user;
  ASSERT_TRUE(winapi::GetUserName(user));
  const std::string url = "Cookie:" + user + "@quillon.test/";
  ASSERT_TRUE(CommitCookieEntry(url));
  ASSERT_TRUE(UrlCacheHolds(url));

  const TRun profiles = RunCli("profiles");
  ASSERT_EQ(profiles.exitCode, 0u) << profiles.err;
  // The running user's Internet Explorer profile reads the live URL cache.
  const auto rows = Rows(profiles.out);
  const auto* row = FindProfile(rows, "Internet Explorer", "");
  ASSERT_NE(row, nullptr) << profiles.out;
  EXPECT_EQ((*row)[1], user);
  EXPECT_EQ((*row)[7], "1");
  const TRun shown = RunCli("show " + (*row)[0] + " cookies");
  EXPECT_NE(shown.out.find("quillon.test"), std::string::npos) << shown.out;

  const TRun purged = RunCli("purge " + (*row)[0] + " cookies");
  EXPECT_EQ(purged.exitCode, 0u) << purged.err << purged.out;
  EXPECT_FALSE(UrlCacheHolds(url));
}

// Greek and Chinese letters are in no Western ANSI code page: main()'s own arguments would have
// turned them into "?".
TEST_F(ProgramOnWindows, TakesFileNamesOutsideTheAnsiCodePage) {
  const std::string folder =
      AppData() +
      "\xCE\x95\xCE\xBB\xCE\xBB\xCE\xB7\xCE\xBD\xCE\xB9\xCE\xBA\xCE\xAC \xE6\xBC\xA2\xE5\xAD\x97\\";
  ASSERT_TRUE(winapi::CreateDirectory(folder));
  ASSERT_TRUE(winapi::WriteWholeFile(folder + "pages.txt", "http://start.test/\n"));
  const TRun run =
      RunCli("listfile encode \"" + folder + "pages.txt\" \"" + folder + "pages.dat\"");
  EXPECT_EQ(run.exitCode, 0u) << run.err;
  EXPECT_TRUE(winapi::FileExists(folder + "pages.dat"));
  winapi::DeleteFile(folder + "pages.txt");
  winapi::DeleteFile(folder + "pages.dat");
  EXPECT_TRUE(winapi::RemoveDirectory(folder));
}

TEST_F(ProgramOnWindows, RefusesImageOptionsAndReadsItsOwnVersionResource) {
  const std::string refused = "quillon-cli: --image, --user and --drive read a Windows system "
                              "image, which the Windows build does not: it shows the running "
                              "system's current user\n";
  struct TCase {
    std::string arguments;
    std::uint32_t exitCode;
    std::string outStart, err;
  };
  const TCase cases[] = {
      {"--version", 0, "Quillon " QUILLON_PRODUCT_VERSION "\n", ""},
      {"--help", 0,
       "Usage: quillon-cli COMMAND [ARGS]\n\nShows the web-browser profiles of the running "
       "Windows system and what each browser keeps.\n\nOptions:\n  --version",
       ""},
      {"--image C:\\images\\win7 profiles", 2, "", refused},
      {"--user alice log", 2, "", refused},
      {"--drive D=C:\\x show 0 cookies", 2, "", refused},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.arguments);
    const TRun run = RunCli(c.arguments);
    EXPECT_EQ(run.exitCode, c.exitCode);
    EXPECT_EQ(run.out.substr(0, c.outStart.size()), c.outStart);
    EXPECT_EQ(run.out.empty(), c.outStart.empty());
    EXPECT_EQ(run.err, c.err);
  }
  // --version reads the executable's own resource, not the build's fallback data.
  const std::string program = FolderOfTests() + "quillon-cli.exe";
  std::vector<std::string> lines;
  ASSERT_EQ(GetTranslationCount(program), 1);
  ASSERT_TRUE(ReadVersionStrings(program, 0, lines));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "ProductName=Quillon"), lines.end());
}

} // namespace
} // namespace quillon
