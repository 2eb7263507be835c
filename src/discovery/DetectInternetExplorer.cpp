#include "discovery/DiscoverySteps.h"

#include "platform/Accounts.h"
#include "platform/PathSolve.h"
#include "platform/Registry.h"
#include "winapi/WinApi.h"

#include <algorithm>
#include <string>
#include <vector>

namespace quillon {

namespace {

const std::string kExplorerKey = "\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\')
    path += '\\';
  return path;
}

// The version of the installed Internet Explorer, as a 32-bit program reads it; empty when the
// machine tells none.
std::string InternetExplorerVersion() {
  std::string version;
  try {
    if (RegReadString(winapi::HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Microsoft\\Internet Explorer\\",
                      "Version", 32, version))
      return version;
  } catch (...) {
  }
  return {};
}

// The names of the hives loaded below HKEY_USERS, in the system's text order without regard to
// case; none when HKEY_USERS cannot be opened.
std::vector<std::string> UserHiveNames() {
  TMyRegistry registry;
  registry.SetRootKey(winapi::HKEY_USERS);
  if (!registry.OpenKeyForReading("\\"))
    return {};
  std::vector<std::string> names = registry.GetKeyNames();
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return winapi::lstrcmpi(a, b) < 0;
  });
  return names;
}

// Adds the profile of the user whose hive is loaded as sid, unless that user is the one running
// the program or the hive lacks the Explorer or the Shell Folders key.
void AddUserProfile(TBrowserManager& manager, const std::string& sid,
                    const std::string& currentUser, const std::string& version) {
  TMyRegistry registry;
  registry.SetRootKey(winapi::HKEY_USERS);
  if (!registry.OpenKeyForReading("\\" + sid + kExplorerKey))
    return;
  std::string userName = registry.ReadString("Logon User Name");
  if (userName.empty())
    userName = SidToAccountNameAndDomain(sid, "");
  if (userName.empty())
    userName = sid;
  registry.CloseKey();
  // Exact, letter case included: the running user's profile is the default entry.
  if (userName == currentUser)
    return;
  if (!registry.OpenKeyForReading("\\" + sid + kExplorerKey + "Shell Folders\\"))
    return;
  TBrowserProfile& profile = manager.Profiles().Add();
  profile.ProfileLocation = sid;
  profile.ProfileName = userName;
  profile.SetBrowserType(bInternetExplorer);
  profile.SetLocation(ctCache, WithTrailingBackslash(registry.ReadString("Cache")));
  profile.SetLocation(ctCookies, WithTrailingBackslash(registry.ReadString("Cookies")));
  profile.SetLocation(ctHistory, WithTrailingBackslash(registry.ReadString("History")));
  profile.SetLocation(ctPages, "");
  profile.SetLocation(ctBookmarks, WithTrailingBackslash(registry.ReadString("Favorites")));
  profile.Version = version;
  registry.CloseKey();
  profile.LastRead =
      BrowserHelper(THelperKind::IERegistry).RefreshAll(profile, profile.HelperContext());
  manager.Log("+ Added entry for " + userName + ".");
  manager.LogReadFailures(profile.LastRead);
}

} // namespace

// Internet Explorer keeps no profiles of its own: its data belongs to the users of the machine.
// The running user's profile (the default entry) reads the live URL cache and shell folders;
// every other user whose hive is loaded gets a profile from that hive's Shell Folders.
void DetectInternetExplorerProfiles(TBrowserManager& manager) {
  manager.Log("[ Internet Explorer ]");
  manager.Log("+ Added default entry.");
  const std::string currentUser = GetCurrentUserName();
  TBrowserProfile& current = manager.Profiles().Add();
  current.ProfileName = currentUser;
  current.SetBrowserType(bInternetExplorer);
  current.SetLocation(ctCache,
                      WithTrailingBackslash(GetSpecialFolderPath(winapi::CSIDL_INTERNET_CACHE)));
  current.SetLocation(ctCookies,
                      WithTrailingBackslash(GetSpecialFolderPath(winapi::CSIDL_COOKIES)));
  current.SetLocation(ctHistory,
                      WithTrailingBackslash(GetSpecialFolderPath(winapi::CSIDL_HISTORY)));
  current.SetLocation(ctPages, "");
  current.SetLocation(ctBookmarks, GetSpecialFolderPath(winapi::CSIDL_FAVORITES));
  const std::string version = InternetExplorerVersion();
  current.Version = version;
  current.LastRead =
      BrowserHelper(THelperKind::IECurrent).RefreshAll(current, current.HelperContext());
  manager.LogReadFailures(current.LastRead);

  for (const std::string& sid : UserHiveNames()) {
    // A user's classes hive holds no browser data.
    if (sid.find("_Classes") != std::string::npos)
      continue;
    manager.Log(". Probing entry for user SID " + sid + "...");
    try {
      AddUserProfile(manager, sid, currentUser, version);
    } catch (...) {
      // A hive that fails ends only its own user's handling.
    }
  }
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
