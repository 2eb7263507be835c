#include "discovery/DiscoverySteps.h"

#include "formats/IniFile.h"
#include "platform/Accounts.h"
#include "platform/FolderSearch.h"
#include "platform/PEVersions.h"
#include "platform/PathParts.h"
#include "platform/PathSolve.h"
#include "platform/Registry.h"
#include "winapi/WinApi.h"

#include <exception>
#include <set>
#include <string>
#include <vector>

namespace quillon {

namespace {

constexpr int kCsidlAppData = 26;
constexpr int kCsidlProgramFiles = 38;

std::string WithTrailingBackslash(std::string path) {
  if (path.empty() || path.back() != '\\')
    path += '\\';
  return path;
}

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

// Sorted as the system orders text without regard to case; a folder named twice in other letter
// case is the same folder.
struct TTextLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return winapi::lstrcmpi(a, b) < 0;
  }
};

// Opera keeps its executable's place nowhere but in the skin and toolbar paths of its ini file:
// the folder part of the value, cut before the sub-folder Opera keeps those files in.
std::string ExecutableFromIniValue(const TIniFile& ini, const char* valueName,
                                   const char* subFolder) {
  std::string folder = FolderPart(ini.ReadString("User Prefs", valueName, ""));
  const std::size_t cut = folder.find(subFolder);
  if (cut != std::string::npos)
    folder.resize(cut);
  return folder + "Opera.exe";
}

// The version of the Opera that belongs to a profile folder: its own Opera.exe, else the one the
// ini file's skin or toolbar path leads to. A profile carried over from a system whose Program
// Files lay elsewhere is looked for below this system's: the folder after "\Opera\" in the path
// ("...\Opera\Opera\profile\" of application data belongs to "Program Files\Opera"). Empty when
// none is found.
std::string FindOperaVersion(const std::string& folder) {
  try {
    std::string exe = folder + "Opera.exe";
    if (!winapi::FileExists(exe)) {
      const std::string iniName =
          winapi::FileExists(folder + "opera6.ini") ? folder + "opera6.ini" : folder + "opera.ini";
      const TIniFile ini(iniName);
      exe = ExecutableFromIniValue(ini, "Button Set", "skin");
      if (!winapi::FileExists(exe))
        exe = ExecutableFromIniValue(ini, "Toolbar Configuration", "defaults");
    }
    if (exe == "Opera.exe")
      exe = folder + "Opera.exe";
    if (!winapi::FileExists(exe) && exe.size() > 12) {
      std::string installFolder = exe.substr(0, exe.size() - 10); // without "\Opera.exe"
      const std::size_t opera = installFolder.find("\\Opera\\");
      if (opera != std::string::npos)
        installFolder.erase(0, opera + 7);
      const std::size_t slash = installFolder.find('\\');
      if (slash != std::string::npos)
        installFolder.resize(slash);
      exe = SolvePath("<$PROGRAMFILES>\\" + installFolder + "\\Opera.exe");
    }
    return GetFileVersionText(exe);
  } catch (const std::exception&) {
    return {};
  }
}

// The state of one run of the step.
class TOperaDetection {
public:
  explicit TOperaDetection(TBrowserManager& manager) : manager_(manager) {}

  void Run();

private:
  void ProbeOperaFolder(const std::string& folder);
  void ProbeRegisteredApplication();
  void ProbeProgramFiles(const std::string& pattern);
  void ProbeAppData();
  void ProbeUserRegistry();
  void AddOperaProfile(const std::string& folder, TBrowserType type);

  TBrowserManager& manager_;
  std::set<std::string, TTextLess> queue_;
};

void TOperaDetection::ProbeOperaFolder(const std::string& folder) {
  manager_.Log(". Probing possible profile in " + folder + "...");
  if (!winapi::DirectoryExists(folder))
    return;
  const bool accepted =
      manager_.FamilyMask().Contains(bOperaApp)
          ? winapi::FileExists(folder + "plugin-ignore.ini") ||
                winapi::FileExists(folder + "Opera.exe")
          : winapi::FileExists(folder + "opera6.ini") || winapi::FileExists(folder + "opera.ini");
  if (!accepted)
    return;
  manager_.Log(". Queued detected profile in " + folder + "...");
  queue_.insert(folder);
}

void TOperaDetection::ProbeRegisteredApplication() {
  std::string exe;
  if (!RegReadString(winapi::HKEY_LOCAL_MACHINE,
                     "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Opera.exe\\", "",
                     32, exe) ||
      exe.empty())
    return;
  const std::string folder = FolderPart(exe);
  ProbeOperaFolder(folder);
  ProbeOperaFolder(folder + "profile\\");
}

void TOperaDetection::ProbeProgramFiles(const std::string& pattern) {
  for (const std::string& folder : SearchPath(pattern, false, true, false, true)) {
    ProbeOperaFolder(folder + "\\");
    ProbeOperaFolder(folder + "\\profile\\");
  }
}

void TOperaDetection::ProbeAppData() {
  // Without the folder the paths below would be rooted nowhere ("\Opera\Opera\profile\").
  const std::string appDataFolder = GetSpecialFolderPath(kCsidlAppData);
  if (appDataFolder.empty())
    return;
  const std::string appData = WithTrailingBackslash(appDataFolder);
  for (const std::string& folder : SearchPath(appData + "Opera\\*", false, true, false, true))
    ProbeOperaFolder(folder + "\\profile\\");
  // Where each Opera version puts its profile by default.
  for (const char* version :
       {"Opera", "Opera7", "Opera75", "Opera80", "Opera90", "Opera95", "Opera96"})
    ProbeOperaFolder(appData + "Opera\\" + version + "\\profile\\");
}

void TOperaDetection::ProbeUserRegistry() {
  TMyRegistry registry;
  registry.SetRootKey(winapi::HKEY_CURRENT_USER);
  if (!registry.OpenKeyForReading("\\Software\\Opera Software\\"))
    return;
  // Opera records the folders it last ran from here; every plain string may name one.
  for (const std::string& name : registry.GetValueNames()) {
    try {
      winapi::DWORD type = 0;
      if (!registry.GetDataType(name, type) || type != winapi::REG_SZ)
        continue;
      ProbeOperaFolder(WithTrailingBackslash(registry.ReadString(name)));
    } catch (const std::exception&) {
    }
  }
}

void TOperaDetection::AddOperaProfile(const std::string& folder, TBrowserType type) {
  manager_.Log("+ Added profile in " + folder + ".");
  TBrowserProfile& profile = manager_.Profiles().Add();
  profile.ProfileName = GetCurrentUserName();
  profile.ProfileLocation = folder;
  profile.Version = FindOperaVersion(folder);
  profile.SetBrowserType(type);
  profile.SetLocation(ctCache, folder + "Cache4\\");
  profile.SetLocation(ctCookies, folder + "cookies4.dat");
  profile.SetLocation(ctHistory, folder + "global.dat");
  profile.SetLocation(ctPages, winapi::FileExists(folder + "Opera6.ini") ? folder + "Opera6.ini"
                                                                         : folder + "Opera.ini");
  if (winapi::FileExists(folder + "Opera6.adr"))
    profile.SetLocation(ctBookmarks, folder + "Opera6.adr");
  else if (winapi::FileExists(folder + "Opera5.adr"))
    profile.SetLocation(ctBookmarks, folder + "Opera5.adr");
  profile.Refresh();
  manager_.LogReadFailures(profile.LastRead);
}

void TOperaDetection::Run() {
  manager_.Log("[ Opera ]");
  ProbeRegisteredApplication();
  // As for application data: no folder, no search below it.
  if (const std::string programFiles = GetSpecialFolderPath(kCsidlProgramFiles);
      !programFiles.empty()) {
    ProbeProgramFiles(WithTrailingBackslash(programFiles) + "Opera*");
    ProbeProgramFiles(WithTrailingBackslash(programFiles) + "Opera\\Opera*");
  }
  ProbeAppData();
  ProbeUserRegistry();
  for (const std::string& folder : queue_) {
    // Opera 7 and later are told from older versions by the version in the folder's name or by
    // the ini files of the later layout.
    const bool opera7 = Contains(folder, "Opera7") || Contains(folder, "Opera8") ||
                        Contains(folder, "Opera9") || winapi::FileExists(folder + "opera6.ini") ||
                        winapi::FileExists(folder + "operadef6.ini");
    AddOperaProfile(folder, opera7 ? bOpera7 : bOpera);
  }
  manager_.LogDetectionTime();
  manager_.Log("");
}

} // namespace

void DetectOperaProfiles(TBrowserManager& manager) {
  TOperaDetection(manager).Run();
}

} // namespace quillon
