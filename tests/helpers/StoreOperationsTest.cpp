#include "helpers/StoreOperations.h"

#include "formats/TextStoreImage.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quillon;

// --- Purging a folder or a file ---

namespace {

class PurgeStoreTest : public ::testing::Test {
protected:
  static std::string Host(const std::string& windowsPath) { return winapi::HostPath(windowsPath); }
  void PutHost(const std::string& windowsPath) {
    std::filesystem::create_directories(std::filesystem::path(Host(windowsPath)).parent_path());
    std::ofstream(Host(windowsPath)) << "x";
  }
  bool Exists(const std::string& windowsPath) { return std::filesystem::exists(Host(windowsPath)); }

  quillon::test::TTextStoreImage image;
  TProfileStores profile;
};

} // namespace

TEST_F(PurgeStoreTest, PurgeFolderDeletesOnlyTheFilesDirectlyInTheFolder) {
  PutHost("C:\\Profile\\Cache\\A");
  PutHost("C:\\Profile\\Cache\\b.tmp");
  PutHost("C:\\Profile\\Cache\\Sub\\deep");
  PutHost("C:\\Profile\\Cache2\\sibling");
  PutHost("C:\\Profile\\outside");
  profile.SetLocation(ctCache, "C:\\Profile\\Cache");
  profile.GetList(ctCache).Add();
  profile.GetList(ctCookies).Add();

  PurgeFolder(profile, ctCache);
  EXPECT_FALSE(Exists("C:\\Profile\\Cache\\A"));
  EXPECT_FALSE(Exists("C:\\Profile\\Cache\\b.tmp"));
  EXPECT_TRUE(Exists("C:\\Profile\\Cache\\Sub\\deep"));
  EXPECT_TRUE(Exists("C:\\Profile\\Cache2\\sibling"));
  EXPECT_TRUE(Exists("C:\\Profile\\outside"));
  EXPECT_EQ(profile.GetList(ctCache).Count(), 0);
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 1);

  // A trailing backslash names the same folder.
  PutHost("C:\\Profile\\Cache\\again");
  profile.SetLocation(ctCache, "C:\\Profile\\Cache\\");
  PurgeFolder(profile, ctCache);
  EXPECT_FALSE(Exists("C:\\Profile\\Cache\\again"));
}

TEST_F(PurgeStoreTest, PurgeFolderLeavesShortLocationsAndMissingFoldersAlone) {
  PutHost("C:\\Cachex\\f"); // "C:\Cachex": 9 characters, is purged
  PutHost("C:\\Cache\\f");  // "C:\Cache": 8 characters, is purged
  PutHost("C:\\Cach\\f");   // "C:\Cach": 7 characters, is not
  for (const char* location : {"C:\\Cach", "C:\\", "C:\\Profile\\Missing"}) {
    profile.SetLocation(ctCache, location);
    profile.GetList(ctCache).Add();
    PurgeFolder(profile, ctCache);
    EXPECT_EQ(profile.GetList(ctCache).Count(), 1) << location;
    profile.GetList(ctCache).Clear();
  }
  EXPECT_TRUE(Exists("C:\\Cach\\f"));
  profile.SetLocation(ctCache, "C:\\Cache");
  PurgeFolder(profile, ctCache);
  EXPECT_FALSE(Exists("C:\\Cache\\f"));
  EXPECT_TRUE(Exists("C:\\Cachex\\f"));
}

TEST_F(PurgeStoreTest, PurgeFileClearsTheListOnlyWhenTheFileWasDeleted) {
  profile.SetLocation(ctCookies, "C:\\Profile\\cookies.txt");
  profile.GetList(ctCookies).Add();
  PurgeFile(profile, ctCookies); // missing
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 1);

  profile.SetLocation(ctCookies, "C:\\Profile");
  PurgeFile(profile, ctCookies); // a folder is no file
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 1);
  EXPECT_TRUE(Exists("C:\\Profile"));

  PutHost("C:\\Profile\\cookies.txt");
  profile.SetLocation(ctCookies, "C:\\Profile\\cookies.txt");
  PurgeFile(profile, ctCookies);
  EXPECT_FALSE(Exists("C:\\Profile\\cookies.txt"));
  EXPECT_EQ(profile.GetList(ctCookies).Count(), 0);
}

// A store the browser holds open stays, and so does its list; the reason names the store. A
// folder purge that deleted only part says how much and why the rest stayed.
TEST_F(PurgeStoreTest, AStoreThatStaysIsReportedWithWhatWasDoneAndWhy) {
  const std::string inUse = " is in use by another program (The process cannot access the file "
                            "because it is being used by another process.)";
  image.Api().FailDelete = [](const std::string& path) { return path.ends_with("locked"); };
  struct TCase {
    bool folder;
    std::string location;
    std::vector<std::string> files;
    TKindResult result;
    std::string reason;
    int listed; // entries left in the list
  };
  const std::vector<TCase> cases = {
      {false,
       "C:\\Profile\\locked",
       {"C:\\Profile\\locked"},
       TKindResult::Failed,
       "C:\\Profile\\locked" + inUse,
       1},
      {false, "C:\\Profile\\gone", {}, TKindResult::Done, "", 1},
      {true,
       "C:\\Profile\\Cache",
       {"C:\\Profile\\Cache\\a", "C:\\Profile\\Cache\\locked", "C:\\Profile\\Cache\\c"},
       TKindResult::Failed,
       "deleted 2 of 3 files in C:\\Profile\\Cache\\; 1 could not be deleted: locked" + inUse,
       0},
      {true, "C:\\Profile\\Other", {"C:\\Profile\\Other\\a"}, TKindResult::Done, "", 0},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.location);
    for (const std::string& file : c.files)
      PutHost(file);
    profile.SetLocation(ctCache, c.location);
    profile.GetList(ctCache).Clear();
    profile.GetList(ctCache).Add();
    const TActionOutcome outcome =
        c.folder ? PurgeFolder(profile, ctCache) : PurgeFile(profile, ctCache);
    const TKindOutcome& cache = outcome.Of(TStoreAccess::Change, ctCache);
    EXPECT_EQ(cache.Result, c.result);
    EXPECT_EQ(cache.Reason, c.reason);
    EXPECT_EQ(profile.GetList(ctCache).Count(), c.listed);
    for (const std::string& file : c.files)
      EXPECT_EQ(Exists(file), file.ends_with("locked")) << file;
  }
}
