#include "DiscoveryImage.h"

#include "kit/PeWriter.h"
#include "kit/SQLiteStoreWriter.h"

#include <gtest/gtest.h>

namespace {

using namespace quillon;
using namespace quillon::test;

const std::string kAliceChrome = "C:\\Users\\alice\\AppData\\Local\\Google\\Chrome\\";

TEST(DetectChromeProfiles, NoChromeGivesTheSectionFrameOnly) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Open("alice");
  const TBrowserManager manager(TFamilyMask{bChrome});
  EXPECT_EQ(manager.Profiles().Count(), 0);
  EXPECT_EQ(LogWithoutTimes(manager),
            (std::vector<std::string>{"[ Google Chrome ]", "i TIME", ""}));
}

TEST(DetectChromeProfiles, InstallationGivesProfileWithVersionLocationsAndEntries) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Image().AddUser("bob", kBobSid);
  image.Image().AddFile(kAliceChrome + "User Data\\Local State", "{}");
  image.Image().AddFolder(kAliceChrome + "Application");
  kit::TPeOptions pe;
  pe.Version = kit::BrowserVersionInfo("1.0.154.48", "Google Chrome", "Google Inc.");
  kit::WritePeFile(image.Image().HostPathOf(kAliceChrome + "Application\\chrome.exe"), pe);
  image.Image().AddFolder(kAliceChrome + "User Data\\Default");
  kit::TChromeCookieRow cookie;
  cookie.CreationUtc = 12900000000000000;
  cookie.HostKey = ".example.com";
  cookie.Name = "id";
  cookie.Value = "42";
  cookie.Path = "/";
  cookie.ExpiresUtc = 13900000000000000;
  kit::WriteChromeCookies(image.Image().HostPathOf(kAliceChrome + "User Data\\Default\\Cookies"),
                          {cookie});
  // Bob's Chrome is not the running user's and is not looked for.
  image.Image().AddFile("C:\\Users\\bob\\AppData\\Local\\Google\\Chrome\\User Data\\Local State",
                        "{}");
  image.Open("alice");

  TBrowserManager manager(TFamilyMask{bChrome});
  ASSERT_EQ(manager.Profiles().Count(), 1);
  const TBrowserProfile& profile = manager.Profiles().Items(0);
  EXPECT_EQ(profile.ProfileName, "Chrome");
  EXPECT_EQ(profile.ProfileLocation, kAliceChrome + "User Data\\");
  EXPECT_EQ(profile.BrowserType(), bChrome);
  EXPECT_TRUE(profile.CanClean[ctCookies]);
  EXPECT_EQ(profile.Version, "1.0.154.48");
  EXPECT_EQ(profile.GetLocation(ctCache), "");
  EXPECT_EQ(profile.GetLocation(ctCookies), kAliceChrome + "User Data\\Default\\Cookies");
  EXPECT_EQ(profile.GetLocation(ctHistory), kAliceChrome + "User Data\\Default\\History");
  EXPECT_EQ(profile.GetLocation(ctPages), kAliceChrome + "User Data\\Default\\Preferences");
  EXPECT_EQ(profile.GetLocation(ctBookmarks), kAliceChrome + "User Data\\Default\\History");
  // Filled during discovery.
  ASSERT_EQ(profile.GetList(ctCookies).Count(), 1);
  EXPECT_EQ(LogWithoutTimes(manager),
            (std::vector<std::string>{"[ Google Chrome ]",
                                      "+ Added profile at " + kAliceChrome + ".", "i TIME", ""}));
}

TEST(DetectChromeProfiles, CopiedUserDataWithoutExecutableHasEmptyVersion) {
  TDiscoveryImage image;
  image.Image().AddUser("alice", kAliceSid);
  image.Image().AddFile(kAliceChrome + "User Data\\Local State", "{}");
  image.Image().AddFolder(kAliceChrome + "Application");
  // An executable without a version resource reads like a missing one.
  image.Image().AddFile(kAliceChrome + "Application\\chrome.exe", "MZ not really");
  image.Open("alice");
  const TBrowserManager manager(TFamilyMask{bChrome});
  ASSERT_EQ(manager.Profiles().Count(), 1);
  EXPECT_EQ(manager.Profiles().Items(0).Version, "");
  EXPECT_EQ(manager.Profiles().Items(0).GetList(ctCookies).Count(), 0);
}

} // namespace
