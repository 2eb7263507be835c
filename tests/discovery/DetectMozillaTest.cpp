#include "DiscoveryImage.h"

#include "formats/StoreLimits.h"
#include "kit/MozillaTextStores.h"
#include "kit/NetscapeRegistryWriter.h"
#include "kit/SQLiteStoreWriter.h"
#include "platform/PathSolve.h"
#include "winapi/WinApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using namespace quillon;
using namespace quillon::test;

constexpr const char* kCarolSid = "S-1-5-21-1111111111-2222222222-3333333333-1003";
const std::string kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const std::string kAliceRoaming = "C:\\Users\\alice\\AppData\\Roaming\\";
const std::string kBobRoaming = "C:\\Users\\bob\\AppData\\Roaming\\";

std::string Prefs() {
  return kit::BuildPrefsJs({{"browser.startup.homepage", "http://www.example.com/"}});
}

// Alice has a Firefox of the SQLite generation (its cache below the local application data, as
// newer Windows versions keep it) and a stale profiles.ini entry; Bob has a Mozilla suite profile
// listed in registry.dat and a Thunderbird profile.
class DetectMozillaProfilesTest : public ::testing::Test {
protected:
  void SetUp() override {
    kit::TImageBuilder& image = image_.Image();
    image.AddUser("alice", kAliceSid);
    image.AddUser("bob", kBobSid);

    image.AddFile(kAliceRoaming + "Mozilla\\Firefox\\profiles.ini",
                  "[General]\r\nStartWithLastProfile=1\r\n\r\n"
                  "[Profile0]\r\nName=default\r\nIsRelative=1\r\nPath=Profiles/abcd.default\r\n\r\n"
                  "[Profile1]\r\nName=gone\r\nIsRelative=1\r\nPath=Profiles/gone.default\r\n");
    const std::string firefox = kAliceRoaming + "Mozilla\\Firefox\\Profiles\\abcd.default\\";
    image.AddFile(firefox + "prefs.js", Prefs());
    kit::TFirefoxCookieRow cookie;
    cookie.Id = 1;
    cookie.Name = "id";
    cookie.Value = "7";
    cookie.Host = ".example.com";
    cookie.Path = "/";
    cookie.Expiry = 2000000000;
    kit::WriteFirefox3Cookies(image.HostPathOf(firefox + "cookies.sqlite"), {cookie});
    image.AddFolder(
        "C:\\Users\\alice\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\abcd.default\\Cache");

    const std::string suite = kBobRoaming + "Mozilla\\Profiles\\default\\k1.slt\\";
    kit::TNetscapeRegistryWriter registry;
    registry.AddString("Common\\Profiles\\default", "directory",
                       "C:\\Users\\bob\\AppData\\Roaming\\Mozilla\\Profiles\\default\\k1.slt");
    image.AddFolder(kBobRoaming + "Mozilla");
    registry.WriteFile(image.HostPathOf(kBobRoaming + "Mozilla\\registry.dat"));
    image.AddFile(suite + "prefs.js", Prefs());
    image.AddFile(suite + "cookies.txt",
                  kit::BuildCookiesTxt({{".example.org", true, "/", false, 2000000000, "a", "1"}}));

    image.AddFile(kBobRoaming + "Thunderbird\\profiles.ini",
                  "[Profile0]\nIsRelative=0\nPath=C:\\Users\\bob\\AppData\\Roaming\\Thunderbird\\"
                  "Profiles\\t.default\n");
    image.AddFile(kBobRoaming + "Thunderbird\\Profiles\\t.default\\prefs.js", Prefs());
  }

  TDiscoveryImage image_;
};

TEST_F(DetectMozillaProfilesTest, FindsProfilesOfEveryUserInSortedOrder) {
  image_.Open("alice");
  TBrowserManager manager(TFamilyMask{bFirefox, bMozilla, bThunderbird});

  ASSERT_EQ(manager.Profiles().Count(), 3);
  const TBrowserProfile& firefox = manager.Profiles().Items(0);
  const std::string firefoxFolder = kAliceRoaming + "Mozilla\\Firefox\\Profiles\\abcd.default\\";
  EXPECT_EQ(firefox.ProfileName, "alice (default)");
  EXPECT_EQ(firefox.ProfileLocation, firefoxFolder);
  EXPECT_EQ(firefox.BrowserType(), bFirefox);
  EXPECT_EQ(firefox.VersionTag, 3);
  EXPECT_EQ(firefox.Version, "");
  EXPECT_EQ(firefox.GetLocation(ctCookies), firefoxFolder + "cookies.sqlite");
  EXPECT_EQ(firefox.GetLocation(ctBookmarks), firefoxFolder + "places.sqlite");
  EXPECT_EQ(firefox.GetLocation(ctPages), firefoxFolder + "prefs.js");
  EXPECT_EQ(firefox.GetLocation(ctHistory), firefoxFolder + "history.dat");
  EXPECT_EQ(firefox.GetLocation(ctCache),
            "C:\\Users\\alice\\AppData\\Local\\Mozilla\\Firefox\\Profiles\\abcd.default\\Cache\\");
  EXPECT_EQ(firefox.GetList(ctCookies).Count(), 1);

  const TBrowserProfile& thunderbird = manager.Profiles().Items(1);
  const std::string thunderbirdFolder = kBobRoaming + "Thunderbird\\Profiles\\t.default\\";
  EXPECT_EQ(thunderbird.ProfileName, "bob (Profile0)");
  EXPECT_EQ(thunderbird.BrowserType(), bFirefox);
  EXPECT_EQ(thunderbird.VersionTag, 2);
  EXPECT_EQ(thunderbird.GetLocation(ctCookies), thunderbirdFolder + "cookies.txt");
  EXPECT_EQ(thunderbird.GetLocation(ctBookmarks), thunderbirdFolder + "bookmarks.html");
  EXPECT_EQ(thunderbird.GetLocation(ctCache), thunderbirdFolder + "Cache\\");

  const TBrowserProfile& suite = manager.Profiles().Items(2);
  const std::string suiteFolder = kBobRoaming + "Mozilla\\Profiles\\default\\k1.slt\\";
  EXPECT_EQ(suite.ProfileName, "default");
  EXPECT_EQ(suite.ProfileLocation, suiteFolder);
  EXPECT_EQ(suite.BrowserType(), bMozilla);
  EXPECT_EQ(suite.VersionTag, 2);
  EXPECT_EQ(suite.GetList(ctCookies).Count(), 1);

  EXPECT_EQ(
      LogWithoutTimes(manager),
      (std::vector<std::string>{
          "[ Mozilla Firefox & compatibles ]",
          std::string(". Looking at profiles for user with SID ") + kAliceSid + "...",
          ". A: Found Shell Folder AppData registry information: " + kAliceRoaming,
          ". Final AppData found: " + kAliceRoaming,
          ". Probing profile ini file file at " + kAliceRoaming +
              "Mozilla\\Firefox\\profiles.ini...",
          ". Found profile reference to " + firefoxFolder + ".",
          ". Found profile reference to " + kAliceRoaming +
              "Mozilla\\Firefox\\Profiles\\gone.default\\.",
          std::string(". Looking at profiles for user with SID ") + kBobSid + "...",
          ". A: Found Shell Folder AppData registry information: " + kBobRoaming,
          ". Final AppData found: " + kBobRoaming,
          ". Probing Netscape registry file at " + kBobRoaming + "Mozilla\\registry.dat...",
          "+ Added profile for user " + kBobRoaming + "Mozilla\\registry.dat.",
          ". Probing profile ini file file at " + kBobRoaming + "Thunderbird\\profiles.ini...",
          ". Found profile reference to " + thunderbirdFolder + ".",
          "i cookies.sqlite detected, assuming profile is Firefox 3.0 or equivalent.",
          "+ Added Mozilla profile at " + firefoxFolder + ".",
          "i NO cookies.sqlite detected, assuming profile is Firefox 2.0 or equivalent.",
          "+ Added Mozilla profile at " + thunderbirdFolder + ".",
          "i NO cookies.sqlite detected, assuming profile is Firefox 2.0 or equivalent.",
          "+ Added Mozilla profile at " + suiteFolder + ".",
          "i TIME",
          "",
          "[ Mozilla Firefox Portable & compatibles ]",
          "i TIME",
          "",
      }));
}

// A store that exists but cannot be read is named right after its profile's line; a user whose
// hive cannot be loaded is named too, since discovery cannot look at that user's profiles.
TEST_F(DetectMozillaProfilesTest, LogsUnreadableStoresAndUsersWithoutARegistry) {
  const std::string firefox = kAliceRoaming + "Mozilla\\Firefox\\Profiles\\abcd.default\\";
  image_.Image().AddFile(firefox + "cookies.sqlite", "held by a browser, and no database");
  image_.Open("alice");
  std::ofstream(image_.Image().HostPathOf("C:\\Users\\bob\\NTUSER.DAT"),
                std::ios::binary | std::ios::trunc)
      << "regf, damaged";

  const TBrowserManager manager(TFamilyMask{bFirefox, bMozilla});
  ASSERT_EQ(manager.Profiles().Count(), 1);
  EXPECT_TRUE(manager.Profiles().Items(0).LastRead.Failed(TStoreAccess::Read, ctCookies));
  const std::vector<std::string> log = LogWithoutTimes(manager);
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[1],
            std::string("! The registry of user bob (") + kBobSid +
                ", C:\\Users\\bob) cannot be opened; the user's profiles are not searched.");
  const auto added =
      std::find(log.begin(), log.end(), "+ Added Mozilla profile at " + firefox + ".");
  ASSERT_LT(added + 1, log.end());
  EXPECT_EQ(*(added + 1), "! Cannot read the cookies of this profile: " + firefox +
                              "cookies.sqlite cannot be read (file is not a database)");
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) { return line.starts_with("!"); }),
            2);
}

// A profile list too large to read says so in the log instead of showing no profiles silently.
TEST_F(DetectMozillaProfilesTest, ProfileListsOverTheirSizeLimitAreLoggedUnread) {
  struct TCase {
    std::string path;
    std::uint64_t limit;
    std::string what;
  };
  const std::vector<TCase> cases = {
      {kAliceRoaming + "Mozilla\\Firefox\\profiles.ini", kIniFileLimit, "an INI file"},
      {kBobRoaming + "Mozilla\\registry.dat", kNetscapeRegistryLimit, "a registry file"},
  };
  for (const TCase& c : cases)
    std::filesystem::resize_file(image_.Image().HostPathOf(c.path), c.limit + 1);
  image_.Open("alice");
  const TBrowserManager manager(TFamilyMask{bFirefox, bMozilla});
  const std::vector<std::string> log = LogWithoutTimes(manager);
  for (const TCase& c : cases) {
    const std::string name = c.path.substr(c.path.rfind('\\') + 1);
    EXPECT_NE(std::find(log.begin(), log.end(),
                        "! " + name + " is " + std::to_string(c.limit + 1) +
                            " bytes, more than the " + std::to_string(c.limit) + " bytes " +
                            c.what + " can have; not read"),
              log.end())
        << name;
  }
}

TEST_F(DetectMozillaProfilesTest, ProbesOnlyTheFamiliesOfTheMask) {
  image_.Open("alice");
  const TBrowserManager manager(TFamilyMask{bFirefox});
  ASSERT_EQ(manager.Profiles().Count(), 1);
  EXPECT_EQ(manager.Profiles().Items(0).ProfileName, "alice (default)");
}

TEST(DetectMozillaProfiles, AppDataLookupsFallBackInOrder) {
  TDiscoveryImage image;
  // Alice runs the program and her hive names no folder: the shell tells hers.
  image.Image().AddUser("alice", kAliceSid, false);
  // Bob's Shell Folders lack AppData, his environment holds an unexpanded reference, and GDI+
  // remembers a file in his folder.
  kit::THiveWriter& bob = image.Image().AddUser("bob", kBobSid, false);
  bob.SetString(kShellFolders, "Cache", "C:\\Users\\bob\\Cache");
  bob.SetString("Environment", "APPDATA", "%USERPROFILE%\\AppData\\Roaming", 2);
  bob.SetString("Software\\Microsoft\\GDIPlus", "GDIPlus", kBobRoaming + "GDIPFONTCACHEV1.DAT");
  // Carol's hive says nothing usable: her folder is guessed from the running user's; a value of
  // the wrong type is reported.
  kit::THiveWriter& carol = image.Image().AddUser("carol", kCarolSid, false);
  carol.SetDword(kShellFolders, "AppData", 1);
  image.Open("alice");

  const TBrowserManager manager(TFamilyMask{bFirefox});
  EXPECT_EQ(manager.Profiles().Count(), 0);
  const std::vector<std::string> log = LogWithoutTimes(manager);
  const std::vector<std::string> expected = {
      "[ Mozilla Firefox & compatibles ]",
      std::string(". Looking at profiles for user with SID ") + kAliceSid + "...",
      ". E: Found AppData for current user through API: " + kAliceRoaming,
      ". Final AppData found: " + kAliceRoaming,
      std::string(". Looking at profiles for user with SID ") + kBobSid + "...",
      ". A: Found Shell Folder AppData registry information: \\",
      ". C: Found AppData environment information: %USERPROFILE%\\AppData\\Roaming\\",
      ". D: Found AppData environment information: " + kBobRoaming,
      ". Final AppData found: " + kBobRoaming,
      std::string(". Looking at profiles for user with SID ") + kCarolSid + "...",
      "- A: No Shell Folder AppData registry information: Invalid data type for 'AppData'",
      ". F: Guessed (PE incompatible): C:\\Users\\carol\\AppData\\Roaming\\",
      ". Final AppData found: C:\\Users\\carol\\AppData\\Roaming\\",
      "i TIME",
      "",
  };
  ASSERT_GE(log.size(), expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + expected.size()), expected);
}

// K-Meleon's own profile list in the program folder is read whatever the mask says; Netscape 4.x
// lists its profiles by user; the same registry entry below two users' folders counts once.
TEST(DetectMozillaProfiles, RegistryFilesOfProgramFolderAndUsers) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Image().AddUser("bob", kBobSid);
  for (const std::string& roaming : {kAliceRoaming, kBobRoaming}) {
    kit::TNetscapeRegistryWriter registry;
    registry.AddString("Common\\Profiles\\default", "directory",
                       roaming + "Mozilla\\Profiles\\default\\k1.slt");
    image.Image().AddFolder(roaming + "Mozilla");
    registry.WriteFile(image.Image().HostPathOf(roaming + "Mozilla\\registry.dat"));
    image.Image().AddFile(roaming + "Mozilla\\Profiles\\default\\k1.slt\\prefs.js", Prefs());
  }
  const std::string netscape4 = "C:\\Netscape\\Users\\bob\\";
  image.Image().AddFile(kBobRoaming + "nsreg.dat",
                        kit::BuildNetscape4Registry({{"bob", "C:\\Netscape\\Users\\bob"}}));
  image.Image().AddFile(netscape4 + "prefs.js", Prefs());
  image.Open("alice");
  const std::string programFiles = GetSpecialFolderPath(38) + "\\";
  const std::string kMeleon = programFiles + "K-Meleon\\Profiles\\";
  kit::TNetscapeRegistryWriter profilesDat;
  profilesDat.AddString("Common\\Profiles\\km", "directory", kMeleon + "km");
  winapi::CreateDirectory(programFiles + "K-Meleon");
  winapi::CreateDirectory(kMeleon);
  winapi::WriteWholeFile(kMeleon + "profiles.dat", profilesDat.Build());
  winapi::CreateDirectory(kMeleon + "km");
  winapi::WriteWholeFile(kMeleon + "km\\prefs.js", Prefs());

  // Only Netscape 4.x is asked for: the Mozilla registry probes run for it as well.
  const TBrowserManager manager(TFamilyMask{bNetscape4});
  ASSERT_EQ(manager.Profiles().Count(), 3);
  EXPECT_EQ(manager.Profiles().Items(0).ProfileName, "bob");
  EXPECT_EQ(manager.Profiles().Items(0).ProfileLocation, netscape4);
  EXPECT_EQ(manager.Profiles().Items(0).BrowserType(), bNetscape4);
  EXPECT_EQ(manager.Profiles().Items(0).GetLocation(ctHistory), netscape4 + "netscape.hst");
  EXPECT_EQ(manager.Profiles().Items(0).GetLocation(ctCache), netscape4 + "Cache\\");
  EXPECT_EQ(manager.Profiles().Items(1).ProfileName, "default");
  EXPECT_EQ(manager.Profiles().Items(1).ProfileLocation,
            kAliceRoaming + "Mozilla\\Profiles\\default\\k1.slt\\");
  EXPECT_EQ(manager.Profiles().Items(1).BrowserType(), bMozilla);
  EXPECT_EQ(manager.Profiles().Items(2).ProfileName, "km");
  EXPECT_EQ(manager.Profiles().Items(2).ProfileLocation, kMeleon + "km\\");
  EXPECT_EQ(manager.Profiles().Items(2).BrowserType(), bKMeleon);
  const std::vector<std::string> log = LogWithoutTimes(manager);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1], ". Probing Netscape registry file at " + kMeleon + "profiles.dat...");
  EXPECT_EQ(log[2], "+ Added profile for user " + kMeleon + "profiles.dat.");
}

} // namespace
