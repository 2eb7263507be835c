#include "kit/ImageBuilder.h"

#include "kit/HostFile.h"
#include "winapi/image/ImageFileSystem.h"

#include "winapi/WinApi.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace quillon::kit {

namespace {

const char* const kProfileList = "Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
const char* const kCurrentVersion = "Microsoft\\Windows\\CurrentVersion";
const char* const kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
const char* const kSamNames = "SAM\\Domains\\Account\\Users\\Names\\";
const char* const kComputerName = "ControlSet001\\Control\\ComputerName\\ComputerName";

// The Windows 7 shell folders below a profile: value name in (User) Shell Folders, sub-folder.
const std::pair<const char*, const char*> kShellFolderDefaults[] = {
    {"AppData", "AppData\\Roaming"},
    {"Local AppData", "AppData\\Local"},
    {"Cache", "AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
    {"Cookies", "AppData\\Roaming\\Microsoft\\Windows\\Cookies"},
    {"History", "AppData\\Local\\Microsoft\\Windows\\History"},
    {"Favorites", "Favorites"},
};

// The system's own profiles, as Windows 7 lists them.
const std::pair<const char*, const char*> kSystemProfiles[] = {
    {"S-1-5-18", "%systemroot%\\system32\\config\\systemprofile"},
    {"S-1-5-19", "%systemroot%\\ServiceProfiles\\LocalService"},
    {"S-1-5-20", "%systemroot%\\ServiceProfiles\\NetworkService"},
};

std::uint32_t RidOf(const std::string& sid) {
  const auto dash = sid.find_last_of('-');
  if (dash == std::string::npos)
    throw std::invalid_argument("not a SID: " + sid);
  return static_cast<std::uint32_t>(std::stoul(sid.substr(dash + 1)));
}

} // namespace

TImageBuilder::TImageBuilder(std::string root, bool is64) : root_(std::move(root)), is64_(is64) {
  std::filesystem::create_directories(root_);
  AddFolder("C:\\Users");
  AddFolder("C:\\Program Files");
  if (is64_)
    AddFolder("C:\\Program Files (x86)");
  AddFolder("C:\\Windows\\System32\\config");

  const std::string config = "C:\\Windows\\System32\\config\\";
  software_ = std::make_unique<THiveWriter>(HostPathOf(config + "SOFTWARE"));
  system_ = std::make_unique<THiveWriter>(HostPathOf(config + "SYSTEM"));
  sam_ = std::make_unique<THiveWriter>(HostPathOf(config + "SAM"));
  default_ = std::make_unique<THiveWriter>(HostPathOf(config + "DEFAULT"));

  for (const auto& [sid, folder] : kSystemProfiles) {
    software_->SetString(kProfileList + std::string(sid), "ProfileImagePath", folder,
                         winapi::REG_EXPAND_SZ);
    std::string windowsFolder = folder;
    windowsFolder.replace(0, std::string("%systemroot%").size(), "C:\\Windows");
    AddFolder(windowsFolder);
    auto hive = std::make_unique<THiveWriter>(HostPathOf(windowsFolder + "\\NTUSER.DAT"));
    hive->CreateKey("Software\\Microsoft");
    systemProfiles_.push_back(std::move(hive));
  }
  software_->SetString(kCurrentVersion, "ProgramFilesDir", "C:\\Program Files");
  if (is64_) {
    software_->SetString(kCurrentVersion, "ProgramFilesDir (x86)", "C:\\Program Files (x86)");
    software_->SetString(std::string("Wow6432Node\\") + kCurrentVersion, "ProgramFilesDir",
                         "C:\\Program Files (x86)");
  }

  system_->SetDword("Select", "Current", 1);
  system_->SetDword("Select", "Default", 1);
  system_->SetDword("Select", "LastKnownGood", 1);
  system_->SetDword("Select", "Failed", 0);
  SetComputerName("QUILLON-PC");

  sam_->CreateKey(kSamNames);
  default_->CreateKey("Software\\Microsoft");
}

TImageBuilder::~TImageBuilder() = default;

THiveWriter& TImageBuilder::Software() {
  return *software_;
}
THiveWriter& TImageBuilder::System() {
  return *system_;
}
THiveWriter& TImageBuilder::Sam() {
  return *sam_;
}
THiveWriter& TImageBuilder::Default() {
  return *default_;
}

void TImageBuilder::SetComputerName(const std::string& name) {
  system_->SetString(kComputerName, "ComputerName", name);
}

THiveWriter& TImageBuilder::AddUser(const std::string& name, const std::string& sid,
                                    bool withShellFolders) {
  if (users_.count(name))
    throw std::invalid_argument("user added twice: " + name);
  const std::string profile = "C:\\Users\\" + name;
  AddFolder(profile);
  software_->SetString(kProfileList + sid, "ProfileImagePath", profile, winapi::REG_EXPAND_SZ);
  software_->SetDword(kProfileList + sid, "Flags", 0);
  software_->SetDword(kProfileList + sid, "State", 0);

  const std::uint32_t rid = RidOf(sid);
  // The SAM keeps the RID of an account as the type of its name key's default value.
  sam_->SetRaw(kSamNames + name, "", rid, "");
  char ridKey[16];
  std::snprintf(ridKey, sizeof ridKey, "%08X", rid);
  sam_->CreateKey(std::string("SAM\\Domains\\Account\\Users\\") + ridKey);

  auto hive = std::make_unique<THiveWriter>(HostPathOf(profile + "\\NTUSER.DAT"));
  for (const auto& [valueName, sub] : kShellFolderDefaults) {
    AddFolder(profile + "\\" + sub);
    if (withShellFolders)
      hive->SetString(kShellFolders, valueName, profile + "\\" + sub);
    hive->SetString(kUserShellFolders, valueName, std::string("%USERPROFILE%\\") + sub,
                    winapi::REG_EXPAND_SZ);
  }
  hive->CreateKey("Software\\Microsoft\\Internet Explorer\\Main");
  auto classes = std::make_unique<THiveWriter>(
      HostPathOf(profile + "\\AppData\\Local\\Microsoft\\Windows\\UsrClass.dat"));
  classes->CreateKey("Local Settings\\Software\\Microsoft");
  classes_[name] = std::move(classes);
  return *(users_[name] = std::move(hive));
}

THiveWriter& TImageBuilder::UserHive(const std::string& name) {
  const auto it = users_.find(name);
  if (it == users_.end())
    throw std::invalid_argument("no such user: " + name);
  return *it->second;
}

THiveWriter& TImageBuilder::UserClassesHive(const std::string& name) {
  const auto it = classes_.find(name);
  if (it == classes_.end())
    throw std::invalid_argument("no such user: " + name);
  return *it->second;
}

void TImageBuilder::AddFile(const std::string& windowsPath, const std::string& content) {
  const std::filesystem::path host = HostPathOf(windowsPath);
  std::filesystem::create_directories(host.parent_path());
  WriteHostFile(host.string(), content);
}

void TImageBuilder::AddFolder(const std::string& windowsPath) {
  std::filesystem::create_directories(HostPathOf(windowsPath));
}

std::string TImageBuilder::HostPathOf(const std::string& windowsPath) const {
  if (windowsPath.size() < 2 || (windowsPath[0] != 'C' && windowsPath[0] != 'c') ||
      windowsPath[1] != ':')
    throw std::invalid_argument("not a path on drive C: " + windowsPath);
  // Resolve as Windows would, so that "system32" and "System32" name one folder.
  winapi::image::TImageConfig config;
  config.imageRoot = root_;
  std::string host = winapi::image::TImageFileSystem(config).HostPath(windowsPath);
  while (host.size() > 1 && host.back() == '/')
    host.pop_back();
  return host;
}

void TImageBuilder::Commit() {
  software_->Commit();
  system_->Commit();
  sam_->Commit();
  default_->Commit();
  for (auto& [name, hive] : users_)
    hive->Commit();
  for (auto& [name, hive] : classes_)
    hive->Commit();
  for (auto& hive : systemProfiles_)
    hive->Commit();
}

} // namespace quillon::kit
