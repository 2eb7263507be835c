#include "DiscoveryImage.h"

#include "kit/PeWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace quillon;
using namespace quillon::test;

using TLines = std::vector<std::string>;
using TFiles = std::vector<std::pair<std::string, std::string>>; // Windows path, content

const std::string kProgramFiles = "C:\\Program Files (x86)\\";
const std::string kAppData = "C:\\Users\\alice\\AppData\\Roaming\\";
const std::string kAppPaths =
    "Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe";
const std::string kOperaSoftware = "Software\\Opera Software";

void AddOperaExe(kit::TImageBuilder& image, const std::string& path, const std::string& version) {
  kit::TPeOptions pe;
  pe.Version = kit::BrowserVersionInfo(version, "Opera", "Opera Software ASA");
  image.AddFolder(path.substr(0, path.rfind('\\')));
  kit::WritePeFile(image.HostPathOf(path), pe);
}

std::string Probing(const std::string& folder) {
  return ". Probing possible profile in " + folder + "...";
}
std::string Queued(const std::string& folder) {
  return ". Queued detected profile in " + folder + "...";
}

std::string Summary(const TBrowserProfile& p) {
  return std::string(p.BrowserName()) + "|" + p.DisplayName() + "|" + p.Version;
}

TLines Summaries(const TBrowserManager& manager) {
  TLines found;
  for (int i = 0; i < manager.Profiles().Count(); ++i)
    found.push_back(Summary(manager.Profiles().Items(i)));
  return found;
}

// Every source on one image: the registered application, both Program Files searches, the
// application data search and the fixed folders, and the user's registry values. The program
// folder is reached from three sources and the profile from two; each is logged every time and
// added once, after all probing, in sorted order.
TEST(DetectOperaProfiles, ProbesEverySourceInOrderAndAddsEachFolderOnceSorted) {
  TDiscoveryImage image;
  kit::TImageBuilder& b = image.Image();
  kit::THiveWriter& alice = b.AddUser("alice", kAliceSid);
  const std::string program = kProgramFiles + "Opera\\";
  b.Software().SetString(kAppPaths, "", program + "Opera.exe");
  AddOperaExe(b, program + "Opera.exe", "6.5.0.1234");
  b.AddFile(program + "opera6.ini", "[User Prefs]\r\nHome URL=http://www.opera.com/\r\n");
  // A program folder of its own, without an ini file: probed, never queued.
  AddOperaExe(b, kProgramFiles + "OperaMini\\Opera.exe", "9.64.0.10487");
  // Below the Opera folder, found by the second search; opera.ini, but "Opera7" in its name.
  b.AddFile(program + "Opera75\\opera.ini", "");
  const std::string opera9 = kAppData + "Opera\\Opera9\\profile\\";
  b.AddFile(opera9 + "opera.ini", "");
  alice.SetString(kOperaSoftware, "Last Directory", kAppData + "Opera\\Opera9\\profile");
  alice.SetString(kOperaSoftware, "Last CommandLine", program + "Opera.exe");
  // Only plain strings name folders.
  alice.SetString(kOperaSoftware, "Plugin Path", program, winapi::REG_EXPAND_SZ);
  alice.SetDword(kOperaSoftware, "Run Count", 7);
  alice.SetString(kOperaSoftware, "Install Path", program);
  image.Open("alice");

  const TBrowserManager manager(TFamilyMask{bOpera, bOpera7});
  TLines log = {"[ Opera ]", Probing(program), Queued(program), Probing(program + "profile\\")};
  for (const std::string& folder : {program, kProgramFiles + "OperaMini\\"}) {
    log.push_back(Probing(folder));
    if (folder == program)
      log.push_back(Queued(program));
    log.push_back(Probing(folder + "profile\\"));
  }
  log.insert(log.end(), {Probing(program + "Opera75\\"), Queued(program + "Opera75\\"),
                         Probing(program + "Opera75\\profile\\"), Probing(opera9), Queued(opera9)});
  for (const char* fixed :
       {"Opera", "Opera7", "Opera75", "Opera80", "Opera90", "Opera95", "Opera96"})
    log.push_back(Probing(kAppData + "Opera\\" + fixed + "\\profile\\"));
  // The values in the order the key keeps them.
  log.insert(log.end(), {Probing(opera9), Queued(opera9), Probing(program + "Opera.exe\\"),
                         Probing(program), Queued(program)});
  log.insert(log.end(),
             {"+ Added profile in " + program + ".", "+ Added profile in " + program + "Opera75\\.",
              "+ Added profile in " + opera9 + ".", "i TIME", ""});
  EXPECT_EQ(LogWithoutTimes(manager), log);
  EXPECT_EQ(Summaries(manager),
            (TLines{"Opera 7+|alice=" + program + "|6.5.0.1234",
                    "Opera 7+|alice=" + program + "Opera75\\|", "Opera 7+|alice=" + opera9 + "|"}));
}

// Which folders a probe accepts, and the type and store locations a queued folder's profile
// gets from its name and the files it holds.
TEST(DetectOperaProfiles, FolderContentDecidesTypeAndLocations) {
  struct TCase {
    const char* name;
    const char* folderName; // below alice's application data "Opera\"
    std::vector<const char*> files;
    TFamilyMask mask;
    const char* type; // "" when the folder is not queued
    const char* pages;
    const char* bookmarks;
  };
  const TFamilyMask opera{bOpera, bOpera7};
  const TFamilyMask application = opera | TFamilyMask{bOperaApp};
  const std::vector<TCase> cases = {
      {"opera.ini alone, no version in the name",
       "Opera",
       {"opera.ini"},
       opera,
       "Opera 4+",
       "Opera.ini",
       ""},
      {"opera.ini in a folder named for version 9",
       "Opera96",
       {"opera.ini"},
       opera,
       "Opera 7+",
       "Opera.ini",
       ""},
      {"operadef6.ini beside opera.ini",
       "Opera",
       {"opera.ini", "operadef6.ini"},
       opera,
       "Opera 7+",
       "Opera.ini",
       ""},
      {"opera6.ini with the older hotlist",
       "Opera",
       {"opera6.ini", "opera5.adr"},
       opera,
       "Opera 7+",
       "Opera6.ini",
       "Opera5.adr"},
      {"both hotlists: the newer one",
       "Opera",
       {"opera6.ini", "opera5.adr", "opera6.adr"},
       opera,
       "Opera 7+",
       "Opera6.ini",
       "Opera6.adr"},
      {"a hotlist but no ini file", "Opera", {"opera6.adr"}, opera, "", "", ""},
      {"program files without an ini file", "Opera", {"Opera.exe"}, opera, "", "", ""},
      {"program files when applications are looked for",
       "Opera",
       {"Opera.exe"},
       application,
       "Opera 4+",
       "Opera.ini",
       ""},
      {"plugin-ignore.ini when applications are looked for",
       "Opera",
       {"plugin-ignore.ini"},
       application,
       "Opera 4+",
       "Opera.ini",
       ""},
      {"an ini file is no application", "Opera", {"opera6.ini"}, application, "", "", ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscoveryImage image;
    image.Image().AddUser("alice", kAliceSid);
    const std::string folder = kAppData + "Opera\\" + c.folderName + "\\profile\\";
    for (const char* file : c.files)
      image.Image().AddFile(folder + file, "");
    image.Open("alice");

    const TBrowserManager manager(c.mask);
    if (*c.type == '\0') {
      EXPECT_EQ(manager.Profiles().Count(), 0);
      continue;
    }
    ASSERT_EQ(manager.Profiles().Count(), 1);
    const TBrowserProfile& p = manager.Profiles().Items(0);
    EXPECT_EQ(p.BrowserName(), std::string_view(c.type));
    EXPECT_EQ(p.ProfileName, "alice");
    EXPECT_EQ(p.ProfileLocation, folder);
    EXPECT_EQ(p.GetLocation(ctCache), folder + "Cache4\\");
    EXPECT_EQ(p.GetLocation(ctCookies), folder + "cookies4.dat");
    EXPECT_EQ(p.GetLocation(ctHistory), folder + "global.dat");
    EXPECT_EQ(p.GetLocation(ctPages), folder + c.pages);
    EXPECT_EQ(p.GetLocation(ctBookmarks), *c.bookmarks ? folder + c.bookmarks : "");
    EXPECT_EQ(p.GetList(ctBookmarks).Count(), 0);
  }
}

// The version of a profile without an Opera.exe of its own comes from the skin or toolbar path
// of its ini file, and failing both from that path moved below this machine's Program Files.
TEST(DetectOperaProfiles, VersionFollowsTheIniPathsToTheExecutable) {
  const std::string profile = kAppData + "Opera\\Opera\\profile\\";
  const std::string elsewhere = "C:\\Apps\\Opera9\\";
  struct TCase {
    const char* name;
    TFiles ini; // file name in the profile, content
    std::vector<std::string> executables;
    const char* version;
  };
  const std::string prefs = "[User Prefs]\r\n";
  const std::vector<TCase> cases = {
      {"executable in the profile folder", {}, {profile + "Opera.exe"}, "9.64.0.10487"},
      {"skin path",
       {{"opera6.ini", prefs + "Button Set=" + elsewhere + "skin\\std.zip\r\n"}},
       {elsewhere + "Opera.exe"},
       "9.64.0.10487"},
      {"toolbar path when the skin path leads nowhere",
       {{"opera6.ini", prefs + "Button Set=C:\\Gone\\skin\\std.zip\r\nToolbar Configuration=" +
                           elsewhere + "defaults\\standard_toolbar.ini\r\n"}},
       {elsewhere + "Opera.exe"},
       "9.64.0.10487"},
      {"opera.ini without opera6.ini",
       {{"opera.ini", prefs + "Button Set=" + elsewhere + "skin\\std.zip\r\n"}},
       {elsewhere + "Opera.exe"},
       "9.64.0.10487"},
      {"opera6.ini before opera.ini",
       {{"opera6.ini", prefs + "Button Set=" + elsewhere + "skin\\std.zip\r\n"},
        {"opera.ini", prefs + "Button Set=C:\\Other\\skin\\std.zip\r\n"}},
       {elsewhere + "Opera.exe", "C:\\Other\\Opera.exe"},
       "9.64.0.10487"},
      // A profile carried over from a system with Program Files elsewhere: below this system's
      // Program Files, the folder named as the one after "\Opera\" in the profile's own path.
      {"profile folder relocated below Program Files",
       {{"opera6.ini", prefs + "Button Set=C:\\Program Files\\Opera\\skin\\std.zip\r\n"}},
       {kProgramFiles + "Opera\\Opera.exe"},
       "9.64.0.10487"},
      {"toolbar path relocated below Program Files",
       {{"opera6.ini",
         prefs + "Toolbar Configuration=D:\\Old\\Opera\\Opera9\\defaults\\tb.ini\r\n"}},
       {kProgramFiles + "Opera9\\Opera.exe"},
       "9.64.0.10487"},
      // The sub-folder names are matched in Opera's own spelling only.
      {"skin in other letter case is kept in the path",
       {{"opera6.ini", prefs + "Button Set=" + elsewhere + "Skin\\std.zip\r\n"}},
       {elsewhere + "Opera.exe"},
       ""},
      {"no paths and no executable", {{"opera6.ini", prefs}}, {elsewhere + "Opera.exe"}, ""},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.name);
    TDiscoveryImage image;
    image.Image().AddUser("alice", kAliceSid);
    if (c.ini.empty())
      image.Image().AddFile(profile + "opera6.ini", "");
    for (const auto& [name, content] : c.ini)
      image.Image().AddFile(profile + name, content);
    for (const std::string& exe : c.executables)
      AddOperaExe(image.Image(), exe, exe == c.executables.front() ? "9.64.0.10487" : "1.0.0.0");
    image.Open("alice");
    const TBrowserManager manager(TFamilyMask{bOpera});
    ASSERT_EQ(manager.Profiles().Count(), 1);
    EXPECT_EQ(manager.Profiles().Items(0).Version, c.version);
  }
}

} // namespace
