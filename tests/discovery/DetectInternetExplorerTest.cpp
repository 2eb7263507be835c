#include "DiscoveryImage.h"

#include "platform/ListFile.h"
#include "winapi/FakeUrlCache.h"

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using namespace quillon::test;

const char* const kCarolSid = "S-1-5-21-1111111111-2222222222-3333333333-1003";
const std::string kExplorer = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer";

std::vector<std::string> Probing(const std::vector<std::string>& sids) {
  std::vector<std::string> lines;
  for (const std::string& sid : sids)
    lines.push_back(". Probing entry for user SID " + sid + "...");
  return lines;
}

TEST(DetectInternetExplorerProfiles, DefaultEntryFirstThenEachUserHiveWithShellFolders) {
  struct TCase {
    const char* name;
    const char* aliceLogonName; // empty: none in her hive
    std::vector<std::string> profiles;
  };
  const std::vector<TCase> cases = {
      // Without a logon name alice's own hive resolves to "alice (domain)", a second profile.
      {"own hive without logon name",
       "",
       {"alice=", "alice (QUILLON-PC)=" + std::string(kAliceSid),
        "Bob Smith=" + std::string(kBobSid)}},
      {"own hive named as the running user",
       "alice",
       {"alice=", "Bob Smith=" + std::string(kBobSid)}},
      // The comparison heeds letter case.
      {"own hive named in another case",
       "Alice",
       {"alice=", "Alice=" + std::string(kAliceSid), "Bob Smith=" + std::string(kBobSid)}},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscoveryImage image;
    kit::TImageBuilder& b = image.Image();
    b.AddUser("alice", kAliceSid);
    if (*c.aliceLogonName != '\0')
      b.UserHive("alice").SetString(kExplorer, "Logon User Name", c.aliceLogonName);
    b.AddUser("bob", kBobSid).SetString(kExplorer, "Logon User Name", "Bob Smith");
    // Carol's hive has an Explorer key but no Shell Folders: probed, never added.
    b.AddUser("carol", kCarolSid, false);
    b.Software().SetString("Wow6432Node\\Microsoft\\Internet Explorer", "Version", "8.0.7601");
    image.Open("alice");

    TBrowserManager manager(TFamilyMask{bInternetExplorer});
    std::vector<std::string> profiles;
    for (int i = 0; i < manager.Profiles().Count(); ++i)
      profiles.push_back(manager.Profiles().Items(i).DisplayName());
    EXPECT_EQ(profiles, c.profiles);

    std::vector<std::string> log = {"[ Internet Explorer ]", "+ Added default entry."};
    // The system's hives are probed like any other, in the system's text order.
    const std::vector<std::string> system =
        Probing({".DEFAULT", "S-1-5-18", "S-1-5-19", "S-1-5-20"});
    log.insert(log.end(), system.begin(), system.end());
    const bool aliceAdded = c.profiles.size() == 3;
    for (const std::string& line : Probing({kAliceSid}))
      log.push_back(line);
    if (aliceAdded)
      log.push_back("+ Added entry for " + c.profiles[1].substr(0, c.profiles[1].find('=')) + ".");
    log.push_back(Probing({kBobSid})[0]);
    log.push_back("+ Added entry for Bob Smith.");
    log.push_back(Probing({kCarolSid})[0]);
    log.insert(log.end(), {"i TIME", ""});
    EXPECT_EQ(LogWithoutTimes(manager), log);
    // No classes hive is probed.
    for (const std::string& line : manager.DetectionLog())
      EXPECT_EQ(line.find("_Classes"), std::string::npos) << line;
  }
}

TEST(DetectInternetExplorerProfiles, LocationsAndVersionOfBothKindsOfProfile) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Image().AddUser("bob", kBobSid);
  image.Image().Software().SetString("Wow6432Node\\Microsoft\\Internet Explorer", "Version",
                                     "8.0.7601");
  // Only view 32 counts for the version.
  image.Image().Software().SetString("Microsoft\\Internet Explorer", "Version", "9.64");
  image.Image().UserHive("bob").SetString(kExplorer + "\\Shell Folders", "Favorites",
                                          "C:\\Users\\bob\\Favs");
  image.Open("alice");

  TBrowserManager manager(TFamilyMask{bInternetExplorer});
  ASSERT_EQ(manager.Profiles().Count(), 3);
  const TBrowserProfile& own = manager.Profiles().Items(0);
  const TBrowserProfile& bob = manager.Profiles().Items(2);
  const auto locations = [](const TBrowserProfile& p) {
    return std::vector<std::string>(p.Locations.begin(), p.Locations.end());
  };
  EXPECT_EQ(locations(own),
            (std::vector<std::string>{
                "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files\\",
                "C:\\Users\\alice\\AppData\\Roaming\\Microsoft\\Windows\\Cookies\\",
                "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\History\\", "",
                "C:\\Users\\alice\\Favorites"}));
  EXPECT_EQ(locations(bob),
            (std::vector<std::string>{
                "C:\\Users\\bob\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files\\",
                "C:\\Users\\bob\\AppData\\Roaming\\Microsoft\\Windows\\Cookies\\",
                "C:\\Users\\bob\\AppData\\Local\\Microsoft\\Windows\\History\\", "",
                "C:\\Users\\bob\\Favs\\"}));
  for (const TBrowserProfile* p : {&own, &bob}) {
    EXPECT_EQ(p->Version, "8.0.7601");
    EXPECT_EQ(p->BrowserType(), bInternetExplorer);
  }
}

// The running user's URL cache is read during discovery for the default entry only; a damaged
// cache gives a "!" line per kind it holds.
TEST(DetectInternetExplorerProfiles, UrlCacheOfTheDefaultEntryOnlyAndItsReadFailuresLogged) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Image().UserHive("alice").SetString(kExplorer, "Logon User Name", "alice");
  image.Image().AddUser("bob", kBobSid);
  image.Open("alice");
  auto cache = std::make_shared<TFakeUrlCache>(image.Backend().lastError);
  image.Backend().urlCache = cache;
  for (const char* url : {"http://a/", "http://b/"}) {
    winapi::TUrlCacheEntryData entry;
    entry.SourceUrl = url;
    entry.EntryType = winapi::NORMAL_CACHE_ENTRY;
    cache->Entries.push_back(entry);
  }
  cache->WalkError = 1392; // the file or directory is corrupted

  TBrowserManager manager(TFamilyMask{bInternetExplorer});
  ASSERT_EQ(manager.Profiles().Count(), 2);
  EXPECT_EQ(cache->Walks, 1);
  // What the walk listed before the damage stays.
  EXPECT_EQ(manager.Profiles().Items(0).GetList(ctCache).Count(), 2);
  EXPECT_EQ(manager.Profiles().Items(1).GetList(ctCache).Count(), 0);
  const std::vector<std::string>& log = manager.DetectionLog();
  ASSERT_GE(log.size(), 5u);
  EXPECT_EQ(log[1], "+ Added default entry.");
  for (std::size_t i = 0; i < 3; ++i)
    EXPECT_EQ(log[2 + i].rfind("! Cannot read the " +
                                   std::string(KindText(static_cast<TCacheType>(i))) +
                                   " of this profile: the URL cache cannot be read (",
                               0),
              0u)
        << log[2 + i];
  EXPECT_EQ(log[5].rfind(". Probing", 0), 0u);
}

// Both front ends load the list file beside the program after discovery; the start pages then
// show without a refresh.
TEST(LoadIEPageLocations, ListFileBesideTheProgramFillsTheStartPagesAtOnce) {
  const std::string folder = "C:\\Program Files\\Quillon\\";
  for (const bool withFile : {true, false}) {
    SCOPED_TRACE(withFile ? "with list file" : "without");
    TDiscoveryImage image;
    image.Image().AddUser("alice", kAliceSid);
    image.Image().UserHive("alice").SetString("Software\\Microsoft\\Internet Explorer\\Main",
                                              "Start Page", "http://alice/");
    if (withFile)
      image.Image().AddFile(
          folder + "Quillon.ieldat",
          EncodeListText("S HKCU\\Software\\Microsoft\\Internet Explorer\\Main\\Start Page\r\n",
                         BuildListKey()));
    image.Image().AddFile(folder + "quillon.exe", "MZ");
    image.Open("alice", folder + "quillon.exe");
    TBrowserManager manager(TFamilyMask{bInternetExplorer});
    EXPECT_EQ(manager.Profiles().Items(0).GetList(ctPages).Count(), 0);

    std::string reason;
    EXPECT_TRUE(LoadIEPageLocations(manager, reason));
    EXPECT_EQ(reason, "");
    EXPECT_EQ(manager.IEPageLocations().size(), withFile ? 1u : 0u);
    // Both registry views lead to the same value of the user's hive.
    EXPECT_EQ(manager.Profiles().Items(0).GetList(ctPages).Count(), withFile ? 2 : 0);
  }
}

} // namespace
