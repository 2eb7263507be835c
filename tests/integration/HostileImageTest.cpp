// The demo image turned hostile, one family of attacks at a time: links out of the image, host
// paths in its content, stores held by a browser or without a write bit. Whatever the program is
// asked to do with it, nothing outside the image is read, changed or removed, and viewing
// changes nothing inside it.

#include "cli/CliRun.h"
#include "kit/DemoImage.h"
#include "kit/FileHolder.h"
#include "kit/HostFile.h"
#include "kit/TempDir.h"
#include "winapi/WinApi.h"
#include "winapi/image/ImageWinApi.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace quillon;
using quillon::testing::Lines;
using quillon::testing::RunCli;

constexpr const char* kAliceProfile =
    "Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/k3x9q2lm.default";
constexpr const char* kBobFirefox = "Users/bob/AppData/Roaming/Mozilla/Firefox";
// What the host's files hold and no output may show.
constexpr const char* kSecret = "host-secret-7731";

constexpr const char* kBobProfile =
    "Users/bob/AppData/Roaming/Mozilla/Firefox/Profiles/w7p1c0de.default";

// Everything below a folder as the host sees it, links not followed: kind, mode, content or
// link target per relative path.
std::map<std::string, std::string> Snapshot(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    const fs::path& path = it->path();
    struct stat st {};
    lstat(path.c_str(), &st);
    std::string state = std::to_string(st.st_mode) + ":";
    if (S_ISLNK(st.st_mode))
      state += "-> " + fs::read_symlink(path).string();
    else if (S_ISREG(st.st_mode))
      state += kit::ReadHostFile(path);
    tree[fs::relative(path, root).string()] = state;
  }
  return tree;
}

// Leaves a database as a running browser keeps it in WAL mode: its newest rows only in the
// "-wal" beside it (the files are copied while the writer still has them open).
void MakeWalStore(const std::string& store, const std::string& work) {
  fs::copy_file(store, work + "/db");
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((work + "/db").c_str(), &db), SQLITE_OK);
  for (const char* sql : {"PRAGMA journal_mode=WAL;", "PRAGMA wal_autocheckpoint=0;",
                          "INSERT INTO moz_cookies (name, value, host, path) "
                          "VALUES ('wal', 'only', '.wal.example', '/');"})
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sql;
  fs::remove(store);
  fs::copy_file(work + "/db", store);
  fs::copy_file(work + "/db-wal", store + "-wal");
  sqlite3_close(db);
}

// The index the profiles command gives the profile of that name ("" when none has it).
std::string IndexOfProfile(const std::string& image, const std::string& name) {
  for (const std::string& line : Lines(RunCli({"--image", image, "profiles"}).out))
    if (line.find("\t" + name + "\t") != std::string::npos)
      return line.substr(0, line.find('\t'));
  return {};
}

class HostileImageTest : public ::testing::Test {
protected:
  HostileImageTest() {
    image_ = dir_.Path() + "/image";
    outside_ = dir_.Path() + "/outside";
    kit::WriteDemoImage(image_);
    // Host files an attacker would like to reach: copies of real stores (a clean through a link
    // would rewrite them, a purge delete them), a cache folder, a whole Users tree.
    fs::create_directories(outside_);
    std::ofstream(outside_ + "/canary.txt") << kSecret;
    for (const char* name : {"cookies.txt", "bookmarks.html", "prefs.js", "history.dat"})
      fs::copy_file(Image(kBobProfile) + "/" + name, outside_ + "/" + name);
    std::ofstream(outside_ + "/cookies.txt", std::ios::app)
        << "." << kSecret << ".com\tTRUE\t/\tFALSE\t2000000000\t" << kSecret << "\tx\n";
    std::ofstream(outside_ + "/prefs.js", std::ios::app)
        << "user_pref(\"browser.startup.homepage\", \"http://" << kSecret << "/\");\n";
    for (const char* name : {"cookies.sqlite", "places.sqlite"})
      fs::copy_file(Image(kAliceProfile) + "/" + name, outside_ + "/" + name);
    fs::copy(Image(kBobProfile) + "/Cache", outside_ + "/Cache");
    fs::copy(Image("Users"), outside_ + "/Users", fs::copy_options::recursive);
  }

  std::string Image(const std::string& rel) const { return image_ + "/" + rel; }
  // The Windows spelling of a host path, as a hostile hive or ini file would name it.
  static std::string Windows(std::string host) {
    for (char& c : host)
      if (c == '/')
        c = '\\';
    return host;
  }
  void Link(const std::string& target, const std::string& rel) {
    fs::remove_all(Image(rel));
    fs::create_symlink(target, Image(rel));
  }
  // Sets a registry value of a user's hive through the image backend.
  void SetUserValue(const std::string& user, const std::string& key, const std::string& name,
                    const std::string& value) {
    winapi::image::TImageConfig config;
    config.imageRoot = image_;
    config.user = user;
    winapi::image::TImageWinApi api(config);
    winapi::HKEY handle = 0;
    ASSERT_EQ(api.registry->Create(winapi::HKEY_CURRENT_USER, key, winapi::KEY_ALL_ACCESS, handle,
                                   nullptr),
              winapi::ERROR_SUCCESS);
    EXPECT_EQ(api.registry->SetValue(handle, name, winapi::REG_SZ, value), winapi::ERROR_SUCCESS);
    api.registry->Close(handle);
  }

  std::vector<std::string> Args(const std::string& user, std::vector<std::string> command) const {
    std::vector<std::string> args{"--image", image_, "--user", user};
    args.insert(args.end(), command.begin(), command.end());
    return args;
  }

  // Views everything every user has, then cleans and purges every profile of every user.
  // Viewing must leave the image as it was; nothing may ever leave the image.
  void ViewCleanAndPurgeAll() {
    const auto outsideBefore = Snapshot(outside_);
    const auto imageBefore = Snapshot(image_);
    std::map<std::string, int> profiles;
    for (const kit::TDemoUser& user : kit::kDemoUsers) {
      // A user whose profile folder the attack took away is not found (exit 2): nothing to do.
      const auto listed = RunCli(Args(user.name, {"profiles"}));
      profiles[user.name] = static_cast<int>(Lines(listed.out).size());
      std::vector<quillon::testing::TCliResult> shown{listed, RunCli(Args(user.name, {"log"}))};
      // Discovery reads every store; the first profiles (the attacked ones) are shown too.
      for (int i = 0; i < std::min(profiles[user.name], 2); ++i)
        for (const char* kind : {"cookies", "history", "pages", "bookmarks"})
          shown.push_back(RunCli(Args(user.name, {"show", std::to_string(i), kind})));
      for (const auto& result : shown)
        EXPECT_EQ((result.out + result.err).find(kSecret), std::string::npos) << result.out;
    }
    EXPECT_TRUE(Snapshot(image_) == imageBefore) << "viewing changed the image";
    for (const auto& [user, count] : profiles)
      for (int i = 0; i < count; ++i)
        for (const char* verb : {"clean", "purge"})
          RunCli(Args(user, {verb, std::to_string(i), "all"}));
    EXPECT_TRUE(Snapshot(outside_) == outsideBefore) << "a file outside the image changed";
  }

  kit::TTempDir dir_;
  std::string image_, outside_;
};

TEST_F(HostileImageTest, NothingOutsideTheImageIsReachedWhateverItHolds) {
  const std::string up = "../../../../../../../../../../../../..";
  struct TAttack {
    const char* name;
    std::function<void()> attack;
  };
  std::vector<TAttack> attacks = {
      {"stores that are links to host files",
       [&] {
         for (const char* name : {"cookies.txt", "bookmarks.html", "prefs.js", "history.dat"})
           Link(outside_ + "/" + name, std::string(kBobProfile) + "/" + name);
         Link(up + outside_ + "/cookies.sqlite", std::string(kAliceProfile) + "/cookies.sqlite");
         Link(outside_ + "/places.sqlite", std::string(kAliceProfile) + "/places.sqlite");
       }},
      {"temporary and backup files that are links",
       [&] {
         for (const char* name : {"cookies.txt.vext.tmp", "bookmarks.html.vext.tmp",
                                  "bookmarks.html.vext.bak", "prefs.js.vext.tmp"})
           Link(outside_ + "/canary.txt", std::string(kBobProfile) + "/" + name);
       }},
      {"cache folders and Users that are links",
       [&] {
         Link(outside_ + "/Cache", std::string(kBobProfile) + "/Cache");
         Link(up + outside_ + "/Cache", std::string(kAliceProfile) + "/Cache");
         fs::rename(Image("Users"), Image("Users.real"));
         Link(outside_ + "/Users", "Users");
       }},
      {"host paths in ini files and hive values",
       [&] {
         std::ofstream(Image(std::string(kBobFirefox) + "/profiles.ini"))
             << "[General]\r\nStartWithLastProfile=1\r\n\r\n"
             << "[Profile0]\r\nName=z\r\nIsRelative=0\r\nPath=Z:" << Windows(outside_)
             << "\\Users\\bob\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\w7p1c0de.default"
             << "\r\n\r\n[Profile1]\r\nName=q\r\nIsRelative=0\r\nPath=\\\\?\\Z:"
             << Windows(outside_) << "\r\n\r\n[Profile2]\r\nName=s\r\nIsRelative=0\r\nPath=z:/"
             << outside_ << "/\r\n";
         SetUserValue("alice",
                      "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                      "AppData", "Z:" + Windows(outside_) + "\\Users\\alice\\AppData\\Roaming");
         SetUserValue(
             "alice", "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
             "Local AppData", "\\\\?\\Z:" + Windows(outside_) + "\\Users\\alice\\AppData\\Local");
       }},
  };
  attacks.push_back(
      {"a database in WAL mode with its log", [&] {
         MakeWalStore(Image(std::string(kAliceProfile) + "/cookies.sqlite"), dir_.Path());
         // Its newest rows show, and showing them adds no file beside it.
         const auto before = Snapshot(image_);
         const auto shown = RunCli(
             {"--image", image_, "show", IndexOfProfile(image_, "alice (default)"), "cookies"});
         EXPECT_NE(shown.out.find(".wal.example"), std::string::npos) << shown.out;
         EXPECT_TRUE(Snapshot(image_) == before);
       }});
  for (const auto& a : attacks) {
    SCOPED_TRACE(a.name);
    fs::remove_all(image_);
    kit::WriteDemoImage(image_);
    a.attack();
    ViewCleanAndPurgeAll();
  }
}

TEST_F(HostileImageTest, StoresInUseOrWithoutWriteBitStayAsTheyAre) {
  const std::vector<std::string> stores = {
      std::string(kBobProfile) + "/cookies.txt", std::string(kBobProfile) + "/bookmarks.html",
      std::string(kBobProfile) + "/prefs.js", std::string(kAliceProfile) + "/cookies.sqlite",
      std::string(kAliceProfile) + "/places.sqlite"};
  // alice's Firefox 3 and bob's Firefox 2.
  const std::vector<std::string> indexes = {IndexOfProfile(image_, "alice (default)"),
                                            IndexOfProfile(image_, "bob (default)")};
  const auto run = [&](const std::string& reason) {
    std::map<std::string, std::string> before;
    for (const std::string& store : stores)
      before[store] = kit::ReadHostFile(Image(store));
    for (const std::string& index : indexes)
      for (const char* verb : {"clean", "purge"}) {
        SCOPED_TRACE(std::string(verb) + " " + index);
        const auto result = RunCli({"--image", image_, verb, index, "all"});
        EXPECT_EQ(result.code, 1) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
      }
    for (const std::string& store : stores) {
      EXPECT_TRUE(fs::exists(Image(store))) << store;
      EXPECT_TRUE(kit::ReadHostFile(Image(store)) == before[store]) << store << " changed";
    }
  };
  {
    SCOPED_TRACE("held by a browser");
    std::vector<std::unique_ptr<kit::TFileHolder>> browser;
    for (const std::string& store : stores) {
      browser.push_back(std::make_unique<kit::TFileHolder>(Image(store)));
      ASSERT_TRUE(browser.back()->Holds());
    }
    run("is in use by another program");
  }
  {
    SCOPED_TRACE("without a write bit");
    for (const std::string& store : stores)
      fs::permissions(Image(store), fs::perms::owner_read | fs::perms::group_read);
    run("read-only");
    for (const std::string& store : stores)
      EXPECT_EQ(fs::status(Image(store)).permissions(),
                fs::perms::owner_read | fs::perms::group_read);
  }
}

} // namespace
