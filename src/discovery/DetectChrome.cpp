#include "discovery/DiscoverySteps.h"

#include "platform/PEVersions.h"
#include "platform/PathSolve.h"
#include "winapi/WinApi.h"

#include <string>
#include <vector>

namespace quillon {

// Chrome keeps one user data folder per installation below the user's local application data;
// only its default profile is taken. The local application data placeholder can stand for several
// folders, each of which may hold an installation.
void DetectChromeProfiles(TBrowserManager& manager) {
  manager.Log("[ Google Chrome ]");
  std::vector<std::string> folders;
  SolvePathVariants("<$LOCALAPPDATA>\\Google\\Chrome\\", folders);
  for (const std::string& folder : folders) {
    // "Local State" is written by every Chrome that has run; a folder without it holds no data.
    if (!winapi::FileExists(folder + "User Data\\Local State"))
      continue;
    TBrowserProfile& profile = manager.Profiles().Add();
    profile.ProfileName = "Chrome";
    profile.ProfileLocation = folder + "User Data\\";
    profile.SetBrowserType(bChrome);
    try {
      profile.Version = GetFileVersionText(folder + "Application\\chrome.exe");
    } catch (...) {
      profile.Version.clear();
    }
    const std::string defaultProfile = folder + "User Data\\Default\\";
    // The bookmarks come from the history database: this Chrome keeps them in its starred table.
    profile.SetLocation(ctBookmarks, defaultProfile + "History");
    profile.SetLocation(ctCookies, defaultProfile + "Cookies");
    profile.SetLocation(ctHistory, defaultProfile + "History");
    profile.SetLocation(ctPages, defaultProfile + "Preferences");
    profile.Refresh();
    manager.Log("+ Added profile at " + folder + ".");
    manager.LogReadFailures(profile.LastRead);
  }
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
