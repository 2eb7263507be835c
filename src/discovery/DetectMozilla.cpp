#include "discovery/DiscoverySteps.h"

#include "formats/IniFile.h"
#include "formats/NetscapeRegistry.h"
#include "formats/StoreLimits.h"
#include "platform/Accounts.h"
#include "platform/PathParts.h"
#include "platform/PathSolve.h"
#include "platform/Registry.h"
#include "platform/TextLines.h"
#include "winapi/TextCase.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

namespace {

constexpr int kCsidlAppData = 26;
constexpr int kCsidlProgramFiles = 38;

const std::string kProfileListKey =
    "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\')
    path += '\\';
  return path;
}

std::string ReplaceAll(std::string text, const std::string& from, const std::string& to) {
  if (from.empty())
    return text;
  for (std::size_t pos = text.find(from); pos != std::string::npos;
       pos = text.find(from, pos + to.size()))
    text.replace(pos, from.size(), to);
  return text;
}

// One profile reference: the profile folder is BasePath + SubPath.
struct TMozillaProfileInfo {
  TBrowserType Browser = bFirefox;
  std::string BasePath;
  // Newer Windows versions keep a Mozilla profile's cache below the user's local application
  // data, in the same sub-folder the profile has below the roaming one.
  std::string AltBasePath;
  std::string SubPath;
};

// Sorted as the system orders text without regard to case, as the profiles are made in this order.
struct TTextLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return winapi::lstrcmpi(a, b) < 0;
  }
};

struct TProbe {
  TFamilyMask Condition;
  bool Ini; // profiles.ini, else a Netscape registry file
  TBrowserType Browser;
  std::vector<const char*> Files;
};

const std::vector<TProbe>& UserProbes() {
  static const std::vector<TProbe> probes = {
      {TFamilyMask{bMozilla, bNetscape6, bNetscape4, bKMeleon},
       false,
       bFirebird,
       {"Phoenix\\registry.dat", "Roaming\\Phoenix\\registry.dat", "Local\\Phoenix\\registry.dat"}},
      {TFamilyMask{bMozilla, bNetscape6, bNetscape4, bKMeleon},
       false,
       bMozilla,
       {"Mozilla\\registry.dat", "Roaming\\Mozilla\\registry.dat", "Local\\Mozilla\\registry.dat"}},
      {TFamilyMask{bKMeleon},
       false,
       bKMeleon,
       {"K-Meleon\\registry.dat", "Roaming\\K-Meleon\\registry.dat",
        "Local\\K-Meleon\\registry.dat"}},
      {TFamilyMask{bBeonex},
       false,
       bBeonex,
       {"Beonex\\registry.dat", "Roaming\\Beonex\\registry.dat", "Local\\Beonex\\registry.dat"}},
      {TFamilyMask{bFirebird},
       false,
       bFirebird,
       {"Firebird\\registry.dat", "Local\\Firebird\\registry.dat",
        "Roaming\\Firebird\\registry.dat"}},
      {TFamilyMask{bNetscape4},
       false,
       bNetscape4,
       {"nsreg.dat", "Local\\nsreg.dat", "Roaming\\nsreg.dat"}},
      {TFamilyMask{bFirefox},
       true,
       bFirefox,
       {"Mozilla\\Firefox\\profiles.ini", "Local\\Mozilla\\Firefox\\profiles.ini",
        "Roaming\\Mozilla\\Firefox\\profiles.ini"}},
      {TFamilyMask{bNetscape6},
       true,
       bNetscape6,
       {"Netscape\\Navigator\\profiles.ini", "Local\\Netscape\\Navigator\\profiles.ini",
        "Roaming\\Netscape\\Navigator\\profiles.ini"}},
      {TFamilyMask{bFlock},
       true,
       bFlock,
       {"Flock\\Browser\\profiles.ini", "Local\\Flock\\Browser\\profiles.ini",
        "Roaming\\Flock\\Browser\\profiles.ini"}},
      {TFamilyMask{bLolifox},
       true,
       bLolifox,
       {"altimit-dev\\lolifox\\profiles.ini", "Local\\altimit-dev\\lolifox\\profiles.ini",
        "Roaming\\altimit-dev\\lolifox\\profiles.ini", "kyobu-senbi\\lolifox\\profiles.ini",
        "Local\\kyobu-senbi\\lolifox\\profiles.ini",
        "Roaming\\kyobu-senbi\\lolifox\\profiles.ini"}},
      {TFamilyMask{bWyzo},
       true,
       bWyzo,
       {"Wyzo\\Data\\profiles.ini", "Local\\Wyzo\\Data\\profiles.ini",
        "Roaming\\Wyzo\\Data\\profiles.ini"}},
      // Thunderbird profiles are typed Firefox: a Thunderbird profile would offer nothing.
      {TFamilyMask{bThunderbird},
       true,
       bFirefox,
       {"Thunderbird\\profiles.ini", "Local\\Thunderbird\\profiles.ini",
        "Roaming\\Thunderbird\\profiles.ini"}},
  };
  return probes;
}

// The state of one run of the step.
class TMozillaDetection {
public:
  explicit TMozillaDetection(TBrowserManager& manager) : manager_(manager) {}

  void Run();

private:
  void ProbeNetscapeRegistry(const std::string& base, const std::string& relativeFile,
                             TBrowserType browser);
  void ProbeProfilesIni(const std::string& base, const std::string& relativeFile,
                        TBrowserType browser);
  void AddMozillaProfile(const std::string& name, const TMozillaProfileInfo& info);
  TMozillaProfileInfo SplitFolder(const std::string& folder, const std::string& base,
                                  TBrowserType browser) const;
  std::string FindAppData(const std::string& sid);
  // Logs each user the system lists in ProfileList whose registry is not among userKeys (a hive
  // that is missing or damaged): discovery cannot look at that user's profiles.
  void LogUsersWithoutRegistry(const std::vector<std::string>& userKeys);
  // One string value below HKEY_USERS\<sid>; false when the key cannot be opened. A failing
  // read is logged after errorLine and also answers false.
  bool ReadUserValue(const std::string& sid, const std::string& key, const std::string& valueName,
                     const std::string& errorLine, std::string& value);

  TBrowserManager& manager_;
  std::map<std::string, TMozillaProfileInfo, TTextLess> candidates_;
  std::string currentUserName_;
  std::string currentUserSid_;
  std::string accountName_;
  std::string altBase_;
};

TMozillaProfileInfo TMozillaDetection::SplitFolder(const std::string& folder,
                                                   const std::string& base,
                                                   TBrowserType browser) const {
  TMozillaProfileInfo info;
  info.Browser = browser;
  if (!base.empty() && StartsWithTextAscii(folder, base)) {
    info.BasePath = base;
    info.AltBasePath = altBase_;
    info.SubPath = folder.substr(base.size());
  } else {
    info.SubPath = folder;
  }
  return info;
}

void TMozillaDetection::ProbeNetscapeRegistry(const std::string& base,
                                              const std::string& relativeFile,
                                              TBrowserType browser) {
  const std::string fileName = base + relativeFile;
  if (!winapi::FileExists(fileName))
    return;
  manager_.Log(". Probing Netscape registry file at " + fileName + "...");
  try {
    const TNSRegistry registry(fileName);
    const bool netscape4 = browser == bNetscape4;
    const std::string listKey = netscape4 ? "Users" : "Common\\Profiles";
    for (const std::string& name : SplitLines(registry.GetKeyNames(listKey))) {
      // A key without a name names no profile.
      if (name.empty())
        continue;
      try {
        const std::string folder = WithTrailingBackslash(registry.ReadString(
            listKey + "\\" + name + (netscape4 ? "\\ProfileLocation" : "\\directory")));
        TMozillaProfileInfo info = SplitFolder(folder, base, browser);
        const std::string key = name + "=" + info.SubPath;
        candidates_.emplace(key, std::move(info));
        manager_.Log("+ Added profile for user " + fileName + ".");
      } catch (const std::exception&) {
      }
    }
  } catch (const EFileTooLarge& error) {
    manager_.Log(std::string("! ") + error.what());
  } catch (const std::exception&) {
  }
}

void TMozillaDetection::ProbeProfilesIni(const std::string& base, const std::string& relativeFile,
                                         TBrowserType browser) {
  const std::string fileName = base + relativeFile;
  if (!winapi::FileExists(fileName))
    return;
  manager_.Log(". Probing profile ini file file at " + fileName + "...");
  std::optional<TIniFile> read;
  try {
    read.emplace(fileName);
  } catch (const EFileTooLarge& error) {
    manager_.Log(std::string("! ") + error.what());
    return;
  }
  const TIniFile& ini = *read;
  std::vector<std::pair<std::string, std::string>> profiles;
  for (const std::string& section : ini.ReadSections()) {
    if (!StartsWithTextAscii(section, "PROFILE"))
      continue;
    std::string folder = ini.ReadString(section, "Path", "");
    std::replace(folder.begin(), folder.end(), '/', '\\');
    if (ini.ReadInteger(section, "IsRelative", 0) == 1)
      folder = FolderPart(fileName) + folder;
    folder = WithTrailingBackslash(folder);
    manager_.Log(". Found profile reference to " + folder + ".");
    profiles.emplace_back(ini.ReadString(section, "Name", section), folder);
  }
  for (const auto& [name, folder] : profiles) {
    const std::string key = accountName_ + " (" + name + ")=" + folder;
    candidates_.emplace(key, SplitFolder(folder, base, browser));
  }
}

void TMozillaDetection::AddMozillaProfile(const std::string& name,
                                          const TMozillaProfileInfo& info) {
  const std::string folder = info.BasePath + info.SubPath;
  TBrowserProfile& profile = manager_.Profiles().Add();
  profile.ProfileName = name;
  profile.ProfileLocation = folder;
  profile.SetBrowserType(info.Browser);
  if (winapi::FileExists(folder + "cookies.sqlite")) {
    manager_.Log("i cookies.sqlite detected, assuming profile is Firefox 3.0 or equivalent.");
    profile.SetLocation(ctCookies, folder + "cookies.sqlite");
    profile.SetLocation(ctBookmarks, folder + "places.sqlite");
    profile.VersionTag = 3;
  } else {
    manager_.Log("i NO cookies.sqlite detected, assuming profile is Firefox 2.0 or equivalent.");
    profile.SetLocation(ctCookies, folder + "cookies.txt");
    profile.SetLocation(ctBookmarks, folder + "bookmarks.html");
    profile.VersionTag = 2;
  }
  profile.SetLocation(ctCache, folder + "Cache\\");
  // Only a real second base is tried: a bare SubPath would name a folder relative to wherever
  // the program happens to run.
  if (!winapi::DirectoryExists(folder + "Cache\\") && !info.AltBasePath.empty() &&
      winapi::DirectoryExists(info.AltBasePath + info.SubPath + "Cache\\"))
    profile.SetLocation(ctCache, info.AltBasePath + info.SubPath + "Cache\\");
  profile.SetLocation(ctPages, folder + "prefs.js");
  profile.SetLocation(ctHistory,
                      folder + (info.Browser == bNetscape4 ? "netscape.hst" : "history.dat"));
  profile.Refresh();
  manager_.Log("+ Added Mozilla profile at " + folder + ".");
  manager_.LogReadFailures(profile.LastRead);
}

bool TMozillaDetection::ReadUserValue(const std::string& sid, const std::string& key,
                                      const std::string& valueName, const std::string& errorLine,
                                      std::string& value) {
  TMyRegistry registry;
  registry.SetRootKey(winapi::HKEY_USERS);
  if (!registry.OpenKeyForReading("\\" + sid + key))
    return false;
  try {
    value = registry.ReadString(valueName);
    return true;
  } catch (const std::exception& error) {
    manager_.Log(errorLine + error.what());
    return false;
  }
}

std::string TMozillaDetection::FindAppData(const std::string& sid) {
  std::string result;
  std::string value;
  if (ReadUserValue(sid,
                    "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\",
                    "AppData", "- A: No Shell Folder AppData registry information: ", value)) {
    result = WithTrailingBackslash(value);
    manager_.Log(". A: Found Shell Folder AppData registry information: " + result);
  }
  if (result == "\\")
    result.clear();
  if (result.empty() && ReadUserValue(sid, "\\Volatile Environment\\", "APPDATA",
                                      "- B: No AppData environment information: ", value)) {
    result = WithTrailingBackslash(value);
    manager_.Log(". B: Found AppData environment information: " + result);
  }
  if (result == "\\")
    result.clear();
  if (result.empty() && ReadUserValue(sid, "\\Environment\\", "APPDATA",
                                      "- C: No AppData environment information: ", value)) {
    result = WithTrailingBackslash(value);
    manager_.Log(". C: Found AppData environment information: " + result);
  }
  // An unexpanded environment reference names no folder.
  if (result.find('%') != std::string::npos)
    result.clear();
  if (result.empty() && ReadUserValue(sid, "\\Software\\Microsoft\\GDIPlus\\", "GDIPlus",
                                      "- E: No AppData environment information: ", value)) {
    const std::size_t slash = value.rfind('\\');
    result = slash == std::string::npos ? std::string() : value.substr(0, slash + 1);
    if (!result.empty())
      manager_.Log(". D: Found AppData environment information: " + result);
  }
  if (result == "\\")
    result.clear();
  if (result.empty() && !currentUserSid_.empty() && sid == currentUserSid_) {
    result = WithTrailingBackslash(GetSpecialFolderPath(kCsidlAppData));
    manager_.Log(". E: Found AppData for current user through API: " + result);
  }
  if (result.empty()) {
    result = ReplaceAll(WithTrailingBackslash(GetSpecialFolderPath(kCsidlAppData)),
                        currentUserName_, accountName_);
    manager_.Log(". F: Guessed (PE incompatible): " + result);
  }
  return result;
}

void TMozillaDetection::LogUsersWithoutRegistry(const std::vector<std::string>& userKeys) {
  TMyRegistry list;
  list.SetRootKey(winapi::HKEY_LOCAL_MACHINE);
  if (!list.OpenKeyForReading(kProfileListKey))
    return;
  for (const std::string& sid : list.GetKeyNames()) {
    // Windows keeps "<SID>.bak" keys beside broken profiles; they name no user of their own.
    winapi::SID binary;
    if (!IsUserSid(sid) || !winapi::ConvertStringSidToSid(sid, binary))
      continue;
    const bool loaded = std::any_of(userKeys.begin(), userKeys.end(), [&](const std::string& key) {
      return SameTextAscii(key, sid);
    });
    if (loaded)
      continue;
    std::string folder;
    TMyRegistry profile;
    profile.SetRootKey(winapi::HKEY_LOCAL_MACHINE);
    if (profile.OpenKeyForReading(kProfileListKey + sid))
      try {
        folder = profile.ReadString("ProfileImagePath");
      } catch (const std::exception&) {
      }
    manager_.Log("! The registry of user " + SidToAccountName(sid, "") + " (" + sid +
                 (folder.empty() ? "" : ", " + folder) +
                 ") cannot be opened; the user's profiles are not searched.");
  }
}

void TMozillaDetection::Run() {
  manager_.Log("[ Mozilla Firefox & compatibles ]");
  std::vector<std::string> userKeys;
  {
    TMyRegistry registry;
    registry.SetRootKey(winapi::HKEY_USERS);
    if (registry.OpenKeyForReading("\\"))
      userKeys = registry.GetKeyNames();
  }
  LogUsersWithoutRegistry(userKeys);
  try {
    currentUserName_ = GetCurrentUserName();
    currentUserSid_ = zuConvertSidToStringSid(zuLookupAccountName(currentUserName_, ""));
  } catch (const std::exception&) {
    currentUserSid_.clear();
  }

  const std::string programFiles = WithTrailingBackslash(GetSpecialFolderPath(kCsidlProgramFiles));
  ProbeNetscapeRegistry(programFiles, "K-Meleon\\Profiles\\profiles.dat", bKMeleon);
  ProbeNetscapeRegistry(programFiles, "K-Meleon\\Profiles\\registry.dat", bKMeleon);

  const TFamilyMask mask = manager_.FamilyMask();
  for (const std::string& sid : userKeys) {
    if (!IsUserSid(sid))
      continue;
    accountName_ = SidToAccountName(sid, "");
    manager_.Log(". Looking at profiles for user with SID " + sid + "...");
    const std::string appData = FindAppData(sid);
    manager_.Log(". Final AppData found: " + appData);
    altBase_.clear();
    std::string localAppData;
    TMyRegistry registry;
    registry.SetRootKey(winapi::HKEY_USERS);
    if (registry.OpenKeyForReading(
            "\\" + sid +
            "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\"))
      try {
        localAppData = registry.ReadString("Local AppData");
      } catch (const std::exception&) {
      }
    if (!localAppData.empty())
      altBase_ = WithTrailingBackslash(localAppData);
    for (const TProbe& probe : UserProbes()) {
      if (!mask.Intersects(probe.Condition))
        continue;
      for (const char* file : probe.Files) {
        if (probe.Ini)
          ProbeProfilesIni(appData, file, probe.Browser);
        else
          ProbeNetscapeRegistry(appData, file, probe.Browser);
      }
    }
  }

  for (const auto& [key, info] : candidates_)
    if (winapi::FileExists(info.BasePath + info.SubPath + "prefs.js"))
      AddMozillaProfile(key.substr(0, key.find('=')), info);
  candidates_.clear();
  manager_.LogDetectionTime();
  manager_.Log("");
}

} // namespace

void DetectMozillaProfiles(TBrowserManager& manager) {
  TMozillaDetection(manager).Run();
}

} // namespace quillon
