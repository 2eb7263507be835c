#pragma once
// A small in-memory Windows for the platform tests: a registry tree with per-key rights and the
// redirection a 64-bit Windows applies to 32-bit programs, a few folders and files, accounts,
// libraries and shell folders. It records what it was asked for (access masks, find masks, lookup
// machines), which an image cannot show.

#include "winapi/WinApi.h"

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace quillon::test {

using namespace quillon::winapi;

class TFakeWinApi : public TNullWinApi {
public:
  // --- Registry ----------------------------------------------------------------------------------
  // Paths are written "HKLM\Software\A" (roots HKCR, HKCU, HKLM, HKU).
  struct TOpen {
    std::string Path; // resolved, lower case, after redirection
    REGSAM Mask;
    LONG Result;
  };

  // A 64-bit Windows redirects keys below HKLM\Software to HKLM\Software\Wow6432Node for opens
  // without KEY_WOW64_64KEY (the program is a 32-bit process).
  bool Is64 = true;
  std::vector<TOpen> Opens;

  void AddKey(const std::string& path, REGSAM granted = KEY_ALL_ACCESS) {
    std::string lower;
    std::string parent;
    std::size_t start = 0;
    while (start <= path.size()) {
      auto end = path.find('\\', start);
      if (end == std::string::npos)
        end = path.size();
      const std::string part = path.substr(start, end - start);
      lower += (lower.empty() ? "" : "\\") + Lower(part);
      if (!keys_.count(lower)) {
        keys_[lower] = TKey{};
        if (!parent.empty())
          keys_[parent].Children.push_back(part);
      }
      parent = lower;
      start = end + 1;
    }
    keys_[lower].Granted = granted;
  }
  void SetValue(const std::string& path, const std::string& name, DWORD type,
                const std::string& data) {
    AddKeyIfMissing(path);
    auto& values = keys_[Lower(path)].Values;
    for (auto& v : values)
      if (Lower(v.Name) == Lower(name)) {
        v = {name, type, data};
        return;
      }
    values.push_back({name, type, data});
  }
  // Data as the "A" query function returns it: strings with their terminators.
  void SetString(const std::string& path, const std::string& name, const std::string& value,
                 DWORD type = REG_SZ) {
    SetValue(path, name, type, value + '\0');
  }
  void SetMultiString(const std::string& path, const std::string& name,
                      const std::vector<std::string>& strings) {
    std::string data;
    for (const auto& s : strings)
      data += s + '\0';
    SetValue(path, name, REG_MULTI_SZ, data + '\0');
  }
  void SetDword(const std::string& path, const std::string& name, DWORD v) {
    SetValue(path, name, REG_DWORD, std::string(reinterpret_cast<const char*>(&v), 4));
  }
  // The value vanishes after this many reads that ask for its data.
  void VanishAfterDataReads(const std::string& path, const std::string& name, int reads) {
    dataReadsLeft_[Lower(path) + "|" + Lower(name)] = reads;
  }
  // Value data as stored, or nullptr.
  const std::string* StoredData(const std::string& path, const std::string& name,
                                DWORD* type = nullptr) const {
    const auto k = keys_.find(Lower(path));
    if (k == keys_.end())
      return nullptr;
    for (const auto& v : k->second.Values)
      if (Lower(v.Name) == Lower(name)) {
        if (type)
          *type = v.Type;
        return &v.Data;
      }
    return nullptr;
  }
  bool HasKey(const std::string& path) const { return keys_.count(Lower(path)) != 0; }
  std::size_t OpenKeyHandles() const { return handles_.size(); }

  // --- Files -------------------------------------------------------------------------------------
  std::vector<std::string> FindMasks;

  void AddFolder(const std::string& path) { AddEntry(path, FILE_ATTRIBUTE_DIRECTORY); }
  void AddFile(const std::string& path) { AddEntry(path, FILE_ATTRIBUTE_ARCHIVE); }
  std::size_t OpenFindHandles() const { return finds_.size(); }

  // --- Accounts and shell ------------------------------------------------------------------------
  struct TAccount {
    std::string Sid, Name, Domain;
    std::string Machine; // the machine that knows the account; "" = the local one
  };
  std::string UserName;
  std::vector<TAccount> Accounts;
  std::vector<std::string> LookupMachines; // machine name of every LookupAccountSid call
  std::set<std::string> Libraries;         // lower case
  std::set<std::string> Functions;         // "lib!function", library in lower case
  int LoadLibraryCalls = 0;
  std::map<int, std::string> SpecialFolders;

  // Every library function the SID binding looks for.
  void OfferSidFunctions() {
    Libraries.insert("advapi32.dll");
    for (const char* fn : {"ConvertStringSidToSidA", "ConvertSidToStringSidA",
                           "ConvertSecurityDescriptorToStringSecurityDescriptorA",
                           "ConvertStringSecurityDescriptorToSecurityDescriptorA", "MakeAbsoluteSD",
                           "MakeSelfRelativeSD", "GetSecurityInfo"})
      Functions.insert(std::string("advapi32.dll!") + fn);
  }

  // --- TWinApi -----------------------------------------------------------------------------------
  DWORD GetFileAttributes(const std::string& path) override {
    const auto* e = FindEntry(path);
    if (!e) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_FILE_ATTRIBUTES;
    }
    return e->dwFileAttributes;
  }
  HANDLE FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data) override {
    FindMasks.push_back(fileName);
    const auto slash = fileName.rfind('\\');
    if (slash == std::string::npos) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const std::string folder = Lower(fileName.substr(0, slash));
    const std::string pattern = fileName.substr(slash + 1);
    const auto it = folders_.find(folder);
    if (it == folders_.end()) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    std::vector<WIN32_FIND_DATA> found;
    if (folder.find('\\') != std::string::npos) // no dot entries in a drive root
      for (const char* dot : {".", ".."})
        if (Matches(pattern, dot))
          found.push_back(Entry(dot, FILE_ATTRIBUTE_DIRECTORY));
    for (const auto& e : it->second)
      if (Matches(pattern, e.cFileName))
        found.push_back(e);
    if (found.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    const HANDLE h = nextHandle_++;
    data = found.front();
    finds_[h] = {std::move(found), 1};
    return h;
  }
  BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data) override {
    const auto it = finds_.find(find);
    if (it == finds_.end())
      return Fail(ERROR_INVALID_HANDLE);
    auto& [entries, next] = it->second;
    if (next >= entries.size())
      return Fail(ERROR_NO_MORE_FILES);
    data = entries[next++];
    return true;
  }
  BOOL FindClose(HANDLE find) override {
    return finds_.erase(find) ? true : Fail(ERROR_INVALID_HANDLE);
  }
  BOOL DeleteFile(const std::string&) override { return Fail(ERROR_ACCESS_DENIED); }
  BOOL CreateDirectory(const std::string&) override { return Fail(ERROR_ACCESS_DENIED); }
  BOOL RemoveDirectory(const std::string&) override { return Fail(ERROR_ACCESS_DENIED); }
  BOOL MoveFileEx(const std::string&, const std::string&, DWORD) override {
    return Fail(ERROR_ACCESS_DENIED);
  }
  BOOL CopyFile(const std::string&, const std::string&, BOOL) override {
    return Fail(ERROR_ACCESS_DENIED);
  }
  BOOL SetFileAttributes(const std::string&, DWORD) override { return Fail(ERROR_ACCESS_DENIED); }
  bool ReadWholeFile(const std::string&, std::string&) override {
    return Fail(ERROR_FILE_NOT_FOUND);
  }
  BOOL ReplaceFile(const std::string&, const std::string&) override {
    return Fail(ERROR_ACCESS_DENIED);
  }
  bool WriteWholeFile(const std::string&, std::string_view, DWORD) override {
    return Fail(ERROR_ACCESS_DENIED);
  }
  std::string HostPath(const std::string&) override { return {}; }
  std::string WindowsPathFromHost(const std::string&) override { return {}; }
  UINT GetDriveType(const std::string&) override { return DRIVE_FIXED; }
  std::string GetModuleFileName() override { return "C:\\Quillon\\quillon.exe"; }
  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) override {
    info = {};
    return TIME_ZONE_ID_UNKNOWN;
  }
  BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) override {
    local = utc;
    return true;
  }

  LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD, REGSAM sam, HKEY& result) override {
    std::string path;
    LONG rc = Resolve(key, subKey, sam, path);
    if (rc == ERROR_SUCCESS) {
      const auto k = keys_.find(path);
      if (k == keys_.end())
        rc = ERROR_FILE_NOT_FOUND;
      else if ((sam & ~kViewFlags) & ~k->second.Granted)
        rc = ERROR_ACCESS_DENIED;
    }
    Opens.push_back({path, sam, rc});
    if (rc == ERROR_SUCCESS)
      result = NewHandle(path, sam);
    return rc;
  }
  LONG RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM sam, HKEY& result,
                      DWORD* disposition) override {
    std::string path;
    LONG rc = Resolve(key, subKey, sam, path);
    bool created = false;
    if (rc == ERROR_SUCCESS) {
      // The nearest existing ancestor must allow creating subkeys.
      std::string existing = path;
      while (!keys_.count(existing) && existing.find('\\') != std::string::npos)
        existing.resize(existing.rfind('\\'));
      if (!keys_.count(existing))
        rc = ERROR_FILE_NOT_FOUND;
      else if (existing != path && !(keys_[existing].Granted & KEY_CREATE_SUB_KEY))
        rc = ERROR_ACCESS_DENIED;
      else if ((sam & ~kViewFlags) & ~(existing == path ? keys_[path].Granted : KEY_ALL_ACCESS))
        rc = ERROR_ACCESS_DENIED;
      else if (existing != path) {
        AddKey(path); // keys created through the API keep lower-case names
        created = true;
      }
    }
    Opens.push_back({path, sam, rc});
    if (rc != ERROR_SUCCESS)
      return rc;
    if (disposition)
      *disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    result = NewHandle(path, sam);
    return ERROR_SUCCESS;
  }
  LONG RegCloseKey(HKEY key) override {
    return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
  }
  LONG RegQueryValueEx(HKEY key, const std::string& name, DWORD* type, std::string* data) override {
    const auto h = handles_.find(key);
    if (h == handles_.end())
      return ERROR_INVALID_HANDLE;
    if (!(h->second.Mask & KEY_QUERY_VALUE))
      return ERROR_ACCESS_DENIED;
    auto& values = keys_[h->second.Path].Values;
    for (auto v = values.begin(); v != values.end(); ++v) {
      if (Lower(v->Name) != Lower(name))
        continue;
      if (data) {
        const auto left = dataReadsLeft_.find(h->second.Path + "|" + Lower(name));
        if (left != dataReadsLeft_.end() && left->second-- <= 0) {
          values.erase(v);
          return ERROR_FILE_NOT_FOUND;
        }
        *data = v->Data;
      }
      if (type)
        *type = v->Type;
      return ERROR_SUCCESS;
    }
    return ERROR_FILE_NOT_FOUND;
  }
  LONG RegSetValueEx(HKEY key, const std::string& name, DWORD type,
                     std::string_view data) override {
    const auto h = handles_.find(key);
    if (h == handles_.end())
      return ERROR_INVALID_HANDLE;
    if (!(h->second.Mask & KEY_SET_VALUE))
      return ERROR_ACCESS_DENIED;
    std::string stored(data);
    if ((type == REG_SZ || type == REG_EXPAND_SZ) && (stored.empty() || stored.back() != '\0'))
      stored += '\0';
    SetValue(h->second.Path, name, type, stored);
    return ERROR_SUCCESS;
  }
  LONG RegDeleteValue(HKEY, const std::string&) override { return ERROR_ACCESS_DENIED; }
  LONG RegDeleteKey(HKEY, const std::string&) override { return ERROR_ACCESS_DENIED; }
  LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name) override {
    const auto h = handles_.find(key);
    if (h == handles_.end())
      return ERROR_INVALID_HANDLE;
    const auto& children = keys_[h->second.Path].Children;
    if (index >= children.size())
      return ERROR_NO_MORE_ITEMS;
    name = children[index];
    return ERROR_SUCCESS;
  }
  LONG RegEnumValue(HKEY key, DWORD index, std::string& name) override {
    const auto h = handles_.find(key);
    if (h == handles_.end())
      return ERROR_INVALID_HANDLE;
    const auto& values = keys_[h->second.Path].Values;
    if (index >= values.size())
      return ERROR_NO_MORE_ITEMS;
    name = values[index].Name;
    return ERROR_SUCCESS;
  }

  BOOL GetUserName(std::string& name) override {
    if (UserName.empty())
      return Fail(ERROR_NOT_SUPPORTED);
    name = UserName;
    return true;
  }
  BOOL LookupAccountSid(const std::string& machine, const SID& sid, std::string& name,
                        std::string& domain) override {
    LookupMachines.push_back(machine);
    std::string text;
    if (!ConvertSidToStringSid(sid, text))
      return Fail(ERROR_INVALID_SID);
    for (const auto& a : Accounts)
      if (a.Sid == text && Lower(a.Machine) == Lower(machine)) {
        name = a.Name;
        domain = a.Domain;
        return true;
      }
    return Fail(ERROR_NONE_MAPPED);
  }
  BOOL LookupAccountName(const std::string& machine, const std::string& accountName, SID& sid,
                         std::string& domain) override {
    for (const auto& a : Accounts)
      if (Lower(a.Name) == Lower(accountName) && Lower(a.Machine) == Lower(machine) &&
          ConvertStringSidToSid(a.Sid, sid)) {
        domain = a.Domain;
        return true;
      }
    return Fail(ERROR_NONE_MAPPED);
  }
  BOOL LoadLibrary(const std::string& library) override {
    ++LoadLibraryCalls;
    return Libraries.count(Lower(library)) ? true : Fail(ERROR_MOD_NOT_FOUND);
  }
  BOOL GetProcAddress(const std::string& library, const std::string& function) override {
    return Functions.count(Lower(library) + "!" + function) ? true : Fail(ERROR_PROC_NOT_FOUND);
  }
  BOOL SHGetSpecialFolderPath(int csidl, std::string& path) override {
    const auto it = SpecialFolders.find(csidl);
    if (it == SpecialFolders.end())
      return Fail(ERROR_FILE_NOT_FOUND);
    path = it->second;
    return true;
  }

private:
  static constexpr REGSAM kViewFlags = KEY_WOW64_64KEY | KEY_WOW64_32KEY;

  struct TValue {
    std::string Name;
    DWORD Type;
    std::string Data;
  };
  struct TKey {
    REGSAM Granted = KEY_ALL_ACCESS;
    std::vector<std::string> Children; // display names, in the order added
    std::vector<TValue> Values;
  };
  struct THandle {
    std::string Path;
    REGSAM Mask;
  };
  struct TFind {
    std::vector<WIN32_FIND_DATA> Entries;
    std::size_t Next;
  };

  static std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
    return s;
  }
  static BOOL Fail(DWORD code) {
    SetLastError(code);
    return false;
  }

  void AddKeyIfMissing(const std::string& path) {
    if (!keys_.count(Lower(path)))
      AddKey(path);
  }

  LONG Resolve(HKEY key, const std::string& subKey, REGSAM sam, std::string& path) {
    static const std::map<HKEY, std::string> roots = {{HKEY_CLASSES_ROOT, "hkcr"},
                                                      {HKEY_CURRENT_USER, "hkcu"},
                                                      {HKEY_LOCAL_MACHINE, "hklm"},
                                                      {HKEY_USERS, "hku"}};
    if (const auto r = roots.find(key); r != roots.end())
      path = r->second;
    else if (const auto h = handles_.find(key); h != handles_.end())
      path = h->second.Path;
    else
      return ERROR_INVALID_HANDLE;
    if (!subKey.empty() && subKey.front() == '\\')
      return ERROR_BADKEY; // key names never begin with "\"
    std::string sub = Lower(subKey);
    while (!sub.empty() && sub.back() == '\\')
      sub.pop_back();
    if (!sub.empty())
      path += "\\" + sub;
    const std::string software = "hklm\\software\\";
    if (Is64 && !(sam & KEY_WOW64_64KEY) && path.rfind(software, 0) == 0 &&
        path.rfind(software + "wow6432node", 0) != 0)
      path.insert(software.size(), "wow6432node\\");
    return ERROR_SUCCESS;
  }
  HKEY NewHandle(const std::string& path, REGSAM mask) {
    const HKEY h = nextHandle_++;
    handles_[h] = {path, mask};
    return h;
  }

  static WIN32_FIND_DATA Entry(const std::string& name, DWORD attributes) {
    WIN32_FIND_DATA d;
    d.cFileName = name;
    d.dwFileAttributes = attributes;
    return d;
  }
  void AddEntry(const std::string& path, DWORD attributes) {
    const auto slash = path.rfind('\\');
    const std::string folder = path.substr(0, slash);
    if (folder.find('\\') != std::string::npos && !FindEntry(folder))
      AddFolder(folder);
    folders_[Lower(folder)].push_back(Entry(path.substr(slash + 1), attributes));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
      folders_[Lower(path)];
  }
  const WIN32_FIND_DATA* FindEntry(const std::string& path) const {
    std::string p = Lower(path);
    while (!p.empty() && p.back() == '\\')
      p.pop_back();
    const auto slash = p.rfind('\\');
    if (slash == std::string::npos)
      return nullptr;
    const auto it = folders_.find(p.substr(0, slash));
    if (it == folders_.end())
      return nullptr;
    for (const auto& e : it->second)
      if (Lower(e.cFileName) == p.substr(slash + 1))
        return &e;
    return nullptr;
  }
  // Windows wildcards without regard to case; "*.*" matches every name.
  static bool Matches(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*")
      return true;
    const std::string p = Lower(pattern), n = Lower(name);
    std::size_t pi = 0, ni = 0, star = std::string::npos, mark = 0;
    while (ni < n.size()) {
      if (pi < p.size() && (p[pi] == '?' || p[pi] == n[ni])) {
        ++pi;
        ++ni;
      } else if (pi < p.size() && p[pi] == '*') {
        star = pi++;
        mark = ni;
      } else if (star != std::string::npos) {
        pi = star + 1;
        ni = ++mark;
      } else {
        return false;
      }
    }
    while (pi < p.size() && p[pi] == '*')
      ++pi;
    return pi == p.size();
  }

  std::map<std::string, TKey> keys_;
  std::map<std::string, int> dataReadsLeft_;
  std::map<HKEY, THandle> handles_;
  std::map<std::string, std::vector<WIN32_FIND_DATA>> folders_; // lower-case folder -> entries
  std::map<HANDLE, TFind> finds_;
  std::uintptr_t nextHandle_ = 0x1000;
};

} // namespace quillon::test
