#include "winapi/image/ImageAccounts.h"

#include "winapi/image/Hive.h"
#include "winapi/image/ImageRegistry.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace quillon::winapi::image {

namespace {

struct TWellKnownSid {
  const char* sid;
  const char* name;
  const char* domain;
};

// Accounts every Windows system has, with the names an English Windows 7 gives them.
const TWellKnownSid kWellKnownSids[] = {
    {"S-1-0-0", "NULL SID", ""},
    {"S-1-1-0", "Everyone", ""},
    {"S-1-2-0", "LOCAL", ""},
    {"S-1-3-0", "CREATOR OWNER", ""},
    {"S-1-3-1", "CREATOR GROUP", ""},
    {"S-1-5-1", "DIALUP", "NT AUTHORITY"},
    {"S-1-5-2", "NETWORK", "NT AUTHORITY"},
    {"S-1-5-3", "BATCH", "NT AUTHORITY"},
    {"S-1-5-4", "INTERACTIVE", "NT AUTHORITY"},
    {"S-1-5-6", "SERVICE", "NT AUTHORITY"},
    {"S-1-5-7", "ANONYMOUS LOGON", "NT AUTHORITY"},
    {"S-1-5-9", "ENTERPRISE DOMAIN CONTROLLERS", "NT AUTHORITY"},
    {"S-1-5-10", "SELF", "NT AUTHORITY"},
    {"S-1-5-11", "Authenticated Users", "NT AUTHORITY"},
    {"S-1-5-12", "RESTRICTED", "NT AUTHORITY"},
    {"S-1-5-13", "TERMINAL SERVER USER", "NT AUTHORITY"},
    {"S-1-5-18", "SYSTEM", "NT AUTHORITY"},
    {"S-1-5-19", "LOCAL SERVICE", "NT AUTHORITY"},
    {"S-1-5-20", "NETWORK SERVICE", "NT AUTHORITY"},
    {"S-1-5-32-544", "Administrators", "BUILTIN"},
    {"S-1-5-32-545", "Users", "BUILTIN"},
    {"S-1-5-32-546", "Guests", "BUILTIN"},
    {"S-1-5-32-547", "Power Users", "BUILTIN"},
    {"S-1-5-32-548", "Account Operators", "BUILTIN"},
    {"S-1-5-32-549", "Server Operators", "BUILTIN"},
    {"S-1-5-32-550", "Print Operators", "BUILTIN"},
    {"S-1-5-32-551", "Backup Operators", "BUILTIN"},
    {"S-1-5-32-552", "Replicator", "BUILTIN"},
    {"S-1-5-32-555", "Remote Desktop Users", "BUILTIN"},
    {"S-1-5-32-556", "Network Configuration Operators", "BUILTIN"},
};

struct TLibrary {
  const char* name;
  std::vector<const char*> exports;
};

// The libraries the program binds at run time and the functions this layer stands in for.
const TLibrary kLibraries[] = {
    {"advapi32.dll",
     {"ConvertStringSidToSidA", "ConvertSidToStringSidA",
      "ConvertSecurityDescriptorToStringSecurityDescriptorA",
      "ConvertStringSecurityDescriptorToSecurityDescriptorA", "MakeAbsoluteSD",
      "MakeSelfRelativeSD", "GetSecurityInfo", "GetUserNameA", "LookupAccountSidA",
      "LookupAccountNameA", "RegOpenKeyExA", "RegCreateKeyExA", "RegCloseKey", "RegQueryValueExA",
      "RegSetValueExA", "RegDeleteValueA", "RegDeleteKeyA", "RegEnumKeyExA", "RegEnumValueA"}},
    {"kernel32.dll",
     {"GetFileAttributesA",
      "FindFirstFileA",
      "FindNextFileA",
      "FindClose",
      "DeleteFileA",
      "CreateDirectoryA",
      "RemoveDirectoryA",
      "MoveFileExA",
      "CopyFileA",
      "SetFileAttributesA",
      "GetDriveTypeA",
      "GetModuleFileNameA",
      "GetTimeZoneInformation",
      "FileTimeToLocalFileTime",
      "FileTimeToDosDateTime",
      "FileTimeToSystemTime",
      "GetLocalTime",
      "GetLastError",
      "SetLastError",
      "FormatMessageA",
      "LocalFree"}},
    {"shell32.dll",
     {"SHGetSpecialFolderPathA", "SHGetSpecialFolderLocation", "SHGetPathFromIDListA"}},
    {"version.dll", {"GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"}},
    {"wininet.dll",
     {"FindFirstUrlCacheEntryA", "FindNextUrlCacheEntryA", "FindCloseUrlCache",
      "GetUrlCacheEntryInfoA", "DeleteUrlCacheEntryA"}},
};

const char* const kSamUsers = "SAM\\SAM\\Domains\\Account\\Users\\Names";
const char* const kSamAccount = "SAM\\SAM\\Domains\\Account";
const char* const kComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
const char* const kCurrentVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char* const kShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char* const kUserShellFolders =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

struct TShellFolder {
  int csidl;
  const char* valueName; // in Shell Folders and User Shell Folders
  const char* fallback;  // the Windows 7 default below the profile folder
};
const TShellFolder kShellFolderTable[] = {
    {CSIDL_FAVORITES, "Favorites", "Favorites"},
    {CSIDL_APPDATA, "AppData", "AppData\\Roaming"},
    {CSIDL_LOCAL_APPDATA, "Local AppData", "AppData\\Local"},
    {CSIDL_INTERNET_CACHE, "Cache", "AppData\\Local\\Microsoft\\Windows\\Temporary Internet Files"},
    {CSIDL_COOKIES, "Cookies", "AppData\\Roaming\\Microsoft\\Windows\\Cookies"},
    {CSIDL_HISTORY, "History", "AppData\\Local\\Microsoft\\Windows\\History"},
};

// Closes a key of the image registry.
class TKeyHolder {
public:
  explicit TKeyHolder(TImageRegistry& registry) : registry_(registry) {}
  ~TKeyHolder() {
    if (key_)
      registry_.Close(key_);
  }
  TKeyHolder(const TKeyHolder&) = delete;
  TKeyHolder& operator=(const TKeyHolder&) = delete;
  bool Open(HKEY root, const std::string& path, REGSAM view = KEY_WOW64_64KEY) {
    return registry_.Open(root, path, 0, KEY_READ | view, key_) == ERROR_SUCCESS;
  }
  HKEY Get() const { return key_; }

private:
  TImageRegistry& registry_;
  HKEY key_ = 0;
};

// A string value, without its terminator; false when absent, of another type or empty.
bool ReadString(TImageRegistry& registry, HKEY root, const std::string& path,
                const std::string& valueName, std::string& text, REGSAM view = KEY_WOW64_64KEY) {
  TKeyHolder key(registry);
  DWORD type = 0;
  std::string data;
  if (!key.Open(root, path, view) ||
      registry.QueryValue(key.Get(), valueName, &type, &data) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return false;
  text = data.substr(0, data.find('\0'));
  return !text.empty();
}

std::string LastComponent(const std::string& path) {
  const auto slash = path.find_last_of('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool IsSystemSid(const std::string& sid) {
  return sid == "S-1-5-18" || sid == "S-1-5-19" || sid == "S-1-5-20";
}

// Splits "S-1-5-21-a-b-c-1001" into the domain part and the RID.
bool SplitRid(const std::string& sid, std::string& domainSid, DWORD& rid) {
  const auto dash = sid.find_last_of('-');
  if (dash == std::string::npos || dash + 1 >= sid.size())
    return false;
  const std::string tail = sid.substr(dash + 1);
  if (tail.find_first_not_of("0123456789") != std::string::npos || tail.size() > 10)
    return false;
  const unsigned long long value = std::stoull(tail);
  if (value > 0xFFFFFFFFull)
    return false;
  domainSid = sid.substr(0, dash);
  rid = static_cast<DWORD>(value);
  return true;
}

std::string TrimTrailingBackslash(std::string path) {
  while (path.size() > 3 && path.back() == '\\')
    path.pop_back();
  return path;
}

} // namespace

TImageAccounts::TImageAccounts(TImageFileSystem& files, TImageRegistry& registry,
                               const TImageConfig& config, std::shared_ptr<TLastError> lastError)
    : files_(files), registry_(registry), config_(config), lastError_(std::move(lastError)) {}

std::vector<std::pair<std::string, DWORD>> TImageAccounts::SamAccounts() {
  std::vector<std::pair<std::string, DWORD>> accounts;
  TKeyHolder names(registry_);
  if (!names.Open(HKEY_LOCAL_MACHINE, kSamUsers))
    return accounts;
  std::string name;
  for (DWORD i = 0; registry_.EnumKey(names.Get(), i, name) == ERROR_SUCCESS; ++i) {
    TKeyHolder entry(registry_);
    DWORD type = 0;
    if (entry.Open(names.Get(), name) &&
        registry_.QueryValue(entry.Get(), "", &type, nullptr) == ERROR_SUCCESS)
      accounts.emplace_back(name, type);
  }
  return accounts;
}

// The machine's own SID: the account domain's SID at the end of SAM's Account\V, else the domain
// part of a profile SID whose RID is a local account, else that of the first user profile.
std::string TImageAccounts::MachineSid() {
  TKeyHolder account(registry_);
  std::string v;
  if (account.Open(HKEY_LOCAL_MACHINE, kSamAccount) &&
      registry_.QueryValue(account.Get(), "V", nullptr, &v) == ERROR_SUCCESS && v.size() >= 24) {
    const std::string sid = v.substr(v.size() - 24);
    std::string text;
    if (sid.compare(0, 12, std::string("\x01\x04\x00\x00\x00\x00\x00\x05\x15\x00\x00\x00", 12)) ==
            0 &&
        ConvertSidToStringSid(sid, text))
      return text;
  }
  const auto accounts = SamAccounts();
  std::string first;
  for (const auto& profile : registry_.Profiles()) {
    std::string domainSid;
    DWORD rid = 0;
    if (profile.sid.rfind("S-1-5-21-", 0) != 0 || !SplitRid(profile.sid, domainSid, rid))
      continue;
    if (first.empty())
      first = domainSid;
    for (const auto& account : accounts)
      if (account.second == rid)
        return domainSid;
  }
  return first;
}

std::string TImageAccounts::ComputerName() {
  std::string name;
  ReadString(registry_, HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", name);
  return name;
}

bool TImageAccounts::LocalAccount(const std::string& sid, std::string& name, std::string& domain) {
  std::string domainSid;
  DWORD rid = 0;
  if (!SplitRid(sid, domainSid, rid))
    return false;
  const std::string machine = MachineSid();
  const bool onThisMachine = machine.empty() || SameRegistryName(domainSid, machine);
  if (!machine.empty() && SameRegistryName(sid, machine)) {
    name = domain = ComputerName();
    return !name.empty();
  }
  if (onThisMachine && !machine.empty())
    for (const auto& [accountName, accountRid] : SamAccounts())
      if (accountRid == rid) {
        name = accountName;
        domain = ComputerName();
        return true;
      }
  const std::string folder = registry_.ProfileFolderOfSid(sid);
  if (folder.empty() || IsSystemSid(sid))
    return false;
  name = LastComponent(folder);
  domain = onThisMachine ? ComputerName() : std::string();
  return true;
}

bool TImageAccounts::UserName(std::string& name) {
  const std::string sid = registry_.CurrentUserSid();
  std::string domain;
  if (sid.empty() || !LocalAccount(sid, name, domain)) {
    lastError_->Set(ERROR_NONE_MAPPED);
    return false;
  }
  return true;
}

// The image is the only machine there is: a system name is not consulted.
bool TImageAccounts::AccountOfSid(const std::string& /*systemName*/, const SID& sid,
                                  std::string& name, std::string& domain) {
  std::string text;
  if (!ConvertSidToStringSid(sid, text)) {
    lastError_->Set(ERROR_INVALID_SID);
    return false;
  }
  for (const TWellKnownSid& w : kWellKnownSids)
    if (text == w.sid) {
      name = w.name;
      domain = w.domain;
      return true;
    }
  if (LocalAccount(text, name, domain))
    return true;
  lastError_->Set(ERROR_NONE_MAPPED);
  return false;
}

bool TImageAccounts::SidOfAccount(const std::string& /*systemName*/, const std::string& accountName,
                                  SID& sid, std::string& domain) {
  std::string wantedDomain, wanted = accountName;
  if (const auto slash = accountName.find('\\'); slash != std::string::npos) {
    wantedDomain = accountName.substr(0, slash);
    wanted = accountName.substr(slash + 1);
  }
  auto found = [&](const std::string& text, const std::string& dom) {
    if (!ConvertStringSidToSid(text, sid))
      return false;
    domain = dom;
    return true;
  };
  if (!wanted.empty()) {
    for (const TWellKnownSid& w : kWellKnownSids)
      if (SameRegistryName(wanted, w.name) &&
          (wantedDomain.empty() || SameRegistryName(wantedDomain, w.domain)))
        return found(w.sid, w.domain);

    const std::string computer = ComputerName();
    const std::string machine = MachineSid();
    const bool localDomain = wantedDomain.empty() || SameRegistryName(wantedDomain, computer);
    if (localDomain && !machine.empty())
      for (const auto& [samName, rid] : SamAccounts())
        if (SameRegistryName(samName, wanted))
          return found(machine + "-" + std::to_string(rid), computer);
    for (const auto& profile : registry_.Profiles()) {
      if (IsSystemSid(profile.sid) || !SameRegistryName(LastComponent(profile.folder), wanted))
        continue;
      std::string name, profileDomain;
      if (LocalAccount(profile.sid, name, profileDomain) &&
          (wantedDomain.empty() || SameRegistryName(wantedDomain, profileDomain)))
        return found(profile.sid, profileDomain);
    }
  }
  lastError_->Set(ERROR_NONE_MAPPED);
  return false;
}

namespace {
// "ADVAPI32" and "C:\Windows\System32\advapi32.dll" both name advapi32.dll.
const TLibrary* FindLibrary(const std::string& libraryName) {
  std::string name = LastComponent(libraryName);
  if (name.find('.') == std::string::npos)
    name += ".dll";
  for (const TLibrary& library : kLibraries)
    if (SameRegistryName(name, library.name))
      return &library;
  return nullptr;
}
} // namespace

bool TImageAccounts::CanLoadLibrary(const std::string& libraryName) {
  if (FindLibrary(libraryName))
    return true;
  lastError_->Set(ERROR_MOD_NOT_FOUND);
  return false;
}

// Function names compare exactly, as GetProcAddress compares them.
bool TImageAccounts::Exports(const std::string& libraryName, const std::string& functionName) {
  const TLibrary* library = FindLibrary(libraryName);
  if (!library) {
    lastError_->Set(ERROR_MOD_NOT_FOUND);
    return false;
  }
  if (std::any_of(library->exports.begin(), library->exports.end(),
                  [&](const char* e) { return functionName == e; }))
    return true;
  lastError_->Set(ERROR_PROC_NOT_FOUND);
  return false;
}

// The program runs as a 32-bit process, which Windows answers from the 32-bit view: on a 64-bit
// system that is "Program Files (x86)".
std::string TImageAccounts::ProgramFilesDir() {
  std::string dir;
  if (!ReadString(registry_, HKEY_LOCAL_MACHINE, kCurrentVersion, "ProgramFilesDir", dir,
                  KEY_WOW64_32KEY))
    return "C:\\Program Files";
  return TrimTrailingBackslash(Expand(dir, {}, 1, nullptr));
}

// Expands the environment references Windows writes into User Shell Folders.
std::string TImageAccounts::Expand(const std::string& text, const std::string& profile, int depth,
                                   const char* self) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto open = text.find('%', pos);
    const auto close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) {
      out += text.substr(pos);
      break;
    }
    out += text.substr(pos, open - pos);
    const std::string variable = text.substr(open + 1, close - open - 1);
    std::string value;
    bool known = true;
    // A folder whose own value refers to it gets the Windows default for the reference.
    auto folder = [&](const TShellFolder& f) {
      return self && std::string_view(self) == f.valueName
                 ? profile + "\\" + f.fallback
                 : UserFolder(f.valueName, f.fallback, profile, depth + 1);
    };
    if (SameRegistryName(variable, "USERPROFILE") && !profile.empty())
      value = profile;
    else if (SameRegistryName(variable, "APPDATA") && !profile.empty())
      value = folder(kShellFolderTable[1]);
    else if (SameRegistryName(variable, "LOCALAPPDATA") && !profile.empty())
      value = folder(kShellFolderTable[2]);
    else if (SameRegistryName(variable, "SystemDrive"))
      value = "C:";
    else if (SameRegistryName(variable, "SystemRoot") || SameRegistryName(variable, "windir"))
      value = "C:\\Windows";
    else if (SameRegistryName(variable, "ProgramFiles") && depth == 0)
      value = ProgramFilesDir();
    else
      known = false;
    if (known) {
      out += value;
      pos = close + 1;
    } else {
      out += '%' + variable;
      pos = close; // the closing "%" may open the next reference
    }
  }
  return out;
}

// Folders that refer to each other end at the Windows default after a few steps.
std::string TImageAccounts::UserFolder(const char* valueName, const char* fallback,
                                       const std::string& profile, int depth) {
  std::string path;
  if (depth <= 2) {
    if (ReadString(registry_, HKEY_CURRENT_USER, kShellFolders, valueName, path))
      return TrimTrailingBackslash(path);
    if (ReadString(registry_, HKEY_CURRENT_USER, kUserShellFolders, valueName, path))
      return TrimTrailingBackslash(Expand(path, profile, depth, valueName));
  }
  return profile + "\\" + fallback;
}

bool TImageAccounts::SpecialFolder(int csidl, std::string& path) {
  if (csidl == CSIDL_PROGRAM_FILES) {
    path = ProgramFilesDir();
    return true;
  }
  for (const TShellFolder& folder : kShellFolderTable) {
    if (folder.csidl != csidl)
      continue;
    const std::string profile = registry_.ProfileFolderOfSid(registry_.CurrentUserSid());
    if (profile.empty()) {
      lastError_->Set(ERROR_FILE_NOT_FOUND);
      return false;
    }
    path = UserFolder(folder.valueName, folder.fallback, profile, 0);
    return true;
  }
  lastError_->Set(ERROR_INVALID_PARAMETER);
  return false;
}

} // namespace quillon::winapi::image
