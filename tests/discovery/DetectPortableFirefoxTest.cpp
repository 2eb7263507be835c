#include "DiscoveryImage.h"

#include "kit/MozillaTextStores.h"
#include "kit/PeWriter.h"
#include "kit/SQLiteStoreWriter.h"

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using namespace quillon::test;

const std::string kPortable = "C:\\PortableApps\\FirefoxPortable\\";
const std::string kBroken = "C:\\PortableApps\\Broken\\";

// A portable Firefox of the SQLite generation, listed by the machine (through the 32-bit view the
// launcher writes to) and by the user, and a listed folder that lacks its profile.
TEST(DetectPortableFirefoxProfiles, ListedFolderGivesOneProfilePerRoot) {
  TDiscoveryImage image;
  kit::THiveWriter& alice = image.Image().AddUser("alice", kAliceSid);
  image.Image().Software().SetMultiString("Wow6432Node\\Tamsery\\PortableSupport", "Firefox",
                                          {kPortable.substr(0, kPortable.size() - 1)});
  alice.SetMultiString(
      "Software\\Tamsery\\PortableSupport", "Firefox",
      {kBroken.substr(0, kBroken.size() - 1), kPortable.substr(0, kPortable.size() - 1)});
  image.Image().AddFile(kPortable + "FirefoxPortable.exe", "MZ");
  image.Image().AddFolder(kPortable + "App\\Firefox");
  kit::TPeOptions pe;
  pe.Version = kit::BrowserVersionInfo("3.6.8.3920", "Firefox", "Mozilla Corporation");
  kit::WritePeFile(image.Image().HostPathOf(kPortable + "App\\Firefox\\firefox.exe"), pe);
  const std::string profileFolder = kPortable + "Data\\profile\\";
  image.Image().AddFile(profileFolder + "prefs.js",
                        kit::BuildPrefsJs({{"browser.startup.homepage", "http://example.com/"}}));
  kit::TFirefoxCookieRow cookie;
  cookie.Id = 1;
  cookie.Name = "id";
  cookie.Value = "1";
  cookie.Host = ".example.com";
  cookie.Path = "/";
  cookie.Expiry = 2000000000;
  kit::WriteFirefox3Cookies(image.Image().HostPathOf(profileFolder + "cookies.sqlite"), {cookie});
  image.Image().AddFile(kBroken + "FirefoxPortable.exe", "MZ");
  image.Image().AddFile(kBroken + "App\\Firefox\\firefox.exe", "MZ");
  image.Open("alice");

  const TBrowserManager manager(TFamilyMask{bFirefox});
  ASSERT_EQ(manager.Profiles().Count(), 2);
  for (int i = 0; i < 2; ++i) {
    const TBrowserProfile& profile = manager.Profiles().Items(i);
    EXPECT_EQ(profile.ProfileName, "Mobile Profile");
    EXPECT_EQ(profile.ProfileLocation, profileFolder);
    EXPECT_EQ(profile.BrowserType(), bFirefox);
    EXPECT_EQ(profile.Version, "3.6.8.3920");
    EXPECT_EQ(profile.VersionTag, 3);
    EXPECT_EQ(profile.GetLocation(ctCache), "");
    EXPECT_EQ(profile.GetLocation(ctCookies), profileFolder + "cookies.sqlite");
    EXPECT_EQ(profile.GetLocation(ctBookmarks), profileFolder + "places.sqlite");
    EXPECT_EQ(profile.GetLocation(ctPages), profileFolder + "prefs.js");
    EXPECT_EQ(profile.GetLocation(ctHistory), profileFolder + "history.dat");
    EXPECT_EQ(profile.GetList(ctCookies).Count(), 1);
  }
  const std::vector<std::string> log = LogWithoutTimes(manager);
  const std::vector<std::string> expected = {"[ Mozilla Firefox Portable & compatibles ]",
                                             "+ Added profile at " + kPortable + ".",
                                             "+ Added profile at " + kPortable + ".", "i TIME", ""};
  ASSERT_GE(log.size(), expected.size());
  EXPECT_EQ(
      std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(expected.size()), log.end()),
      expected);
}

TEST(DetectPortableFirefoxProfiles, NothingListedGivesTheSectionFrameOnly) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Open("alice");
  const TBrowserManager manager(TFamilyMask{bFirefox});
  EXPECT_EQ(manager.Profiles().Count(), 0);
  const std::vector<std::string> log = LogWithoutTimes(manager);
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(log.end() - 3, log.end()),
            (std::vector<std::string>{"[ Mozilla Firefox Portable & compatibles ]", "i TIME", ""}));
}

} // namespace
