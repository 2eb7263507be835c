#include "discovery/DiscoverySteps.h"

#include "platform/PEVersions.h"
#include "platform/Registry.h"
#include "winapi/WinApi.h"

#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

namespace {

// The portable launcher registers each installation folder here, one string per folder.
constexpr const char* kPortableSupportKey = "\\Software\\Tamsery\\PortableSupport\\";

void ProbePortableFolder(TBrowserManager& manager, const std::string& folder) {
  if (!winapi::FileExists(folder + "FirefoxPortable.exe") ||
      !winapi::FileExists(folder + "App\\Firefox\\firefox.exe") ||
      !winapi::FileExists(folder + "Data\\profile\\prefs.js"))
    return;
  TBrowserProfile& profile = manager.Profiles().Add();
  profile.ProfileName = "Mobile Profile";
  try {
    profile.Version = GetFileVersionText(folder + "App\\Firefox\\firefox.exe");
  } catch (const std::exception&) {
    profile.Version.clear();
  }
  const std::string profileFolder = folder + "Data\\profile\\";
  profile.ProfileLocation = profileFolder;
  profile.SetBrowserType(bFirefox);
  if (winapi::FileExists(profileFolder + "cookies.sqlite")) {
    profile.SetLocation(ctCookies, profileFolder + "cookies.sqlite");
    profile.SetLocation(ctBookmarks, profileFolder + "places.sqlite");
    profile.VersionTag = 3;
  } else {
    profile.SetLocation(ctCookies, profileFolder + "cookies.txt");
    profile.SetLocation(ctBookmarks, profileFolder + "bookmarks.html");
    profile.VersionTag = 2;
  }
  profile.SetLocation(ctPages, profileFolder + "prefs.js");
  profile.SetLocation(ctHistory, profileFolder + "history.dat");
  // A portable Firefox keeps its cache wherever its launcher says; no cache location is set.
  profile.Refresh();
  manager.Log("+ Added profile at " + folder + ".");
  manager.LogReadFailures(profile.LastRead);
}

void ProbePortableSupportKey(TBrowserManager& manager, winapi::HKEY root) {
  TMyRegistry registry;
  registry.SetRootKey(root);
  if (!registry.OpenKeyForReading(kPortableSupportKey))
    return;
  std::vector<std::string> folders;
  try {
    std::string_view text;
    const std::string lines = registry.ReadMultiString("Firefox");
    text = lines;
    while (!text.empty()) {
      const std::size_t end = text.find("\r\n");
      folders.emplace_back(text.substr(0, end));
      if (end == std::string_view::npos)
        break;
      text.remove_prefix(end + 2);
    }
  } catch (const std::exception&) {
  }
  // Only the value's read is guarded: a profile's first read records its own failures, and
  // anything else that fails ends the whole step.
  for (const std::string& folder : folders)
    ProbePortableFolder(manager, folder + "\\");
}

} // namespace

void DetectPortableFirefoxProfiles(TBrowserManager& manager) {
  manager.Log("[ Mozilla Firefox Portable & compatibles ]");
  ProbePortableSupportKey(manager, winapi::HKEY_LOCAL_MACHINE);
  ProbePortableSupportKey(manager, winapi::HKEY_CURRENT_USER);
  manager.LogDetectionTime();
  manager.Log("");
}

} // namespace quillon
