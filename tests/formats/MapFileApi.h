#pragma once
// A Windows-system backend for reader tests: it serves files from memory and knows nothing else.
// Install it for a scope with TWinApiScope.

#include "winapi/WinApi.h"

#include <map>
#include <string>

namespace quillon::test {

using namespace quillon::winapi;

class TMapFileApi : public TWinApi {
public:
  // Paths compare as Windows compares them, without regard to case.
  void Add(const std::string& path, std::string content) { files_[Key(path)] = std::move(content); }
  // A file that exists but cannot be read (held open exclusively by another program).
  void Lock(const std::string& path, DWORD error) { locked_[Key(path)] = error; }

  DWORD GetFileAttributes(const std::string& path) override {
    if (Find(path) != nullptr || locked_.contains(Key(path)))
      return FILE_ATTRIBUTE_ARCHIVE;
    return Fail(INVALID_FILE_ATTRIBUTES);
  }
  bool ReadWholeFile(const std::string& path, std::string& data) override {
    if (const auto it = locked_.find(Key(path)); it != locked_.end())
      return Fail(false, it->second);
    const std::string* content = Find(path);
    if (content == nullptr)
      return Fail(false);
    data = *content;
    return true;
  }

  HANDLE FindFirstFile(const std::string&, WIN32_FIND_DATA&) override {
    return Fail(INVALID_HANDLE_VALUE);
  }
  BOOL FindNextFile(HANDLE, WIN32_FIND_DATA&) override { return Fail(false); }
  BOOL FindClose(HANDLE) override { return Fail(false); }
  BOOL DeleteFile(const std::string&) override { return Fail(false); }
  BOOL CreateDirectory(const std::string&) override { return Fail(false); }
  BOOL RemoveDirectory(const std::string&) override { return Fail(false); }
  BOOL MoveFileEx(const std::string&, const std::string&, DWORD) override { return Fail(false); }
  BOOL CopyFile(const std::string&, const std::string&, BOOL) override { return Fail(false); }
  BOOL SetFileAttributes(const std::string&, DWORD) override { return Fail(false); }
  bool WriteWholeFile(const std::string&, std::string_view) override { return Fail(false); }
  std::unique_ptr<std::istream> OpenFileStream(const std::string&) override { return nullptr; }
  std::string HostPath(const std::string&) override { return {}; }
  std::string WindowsPathFromHost(const std::string&) override { return {}; }
  UINT GetDriveType(const std::string&) override { return DRIVE_NO_ROOT_DIR; }
  std::string GetModuleFileName() override { return {}; }
  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) override {
    info = {};
    return TIME_ZONE_ID_UNKNOWN;
  }
  BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) override {
    local = utc;
    return true;
  }
  LONG RegOpenKeyEx(HKEY, const std::string&, DWORD, REGSAM, HKEY&) override {
    return ERROR_FILE_NOT_FOUND;
  }
  LONG RegCreateKeyEx(HKEY, const std::string&, REGSAM, HKEY&, DWORD*) override {
    return ERROR_ACCESS_DENIED;
  }
  LONG RegCloseKey(HKEY) override { return ERROR_INVALID_HANDLE; }
  LONG RegQueryValueEx(HKEY, const std::string&, DWORD*, std::string*) override {
    return ERROR_INVALID_HANDLE;
  }
  LONG RegSetValueEx(HKEY, const std::string&, DWORD, std::string_view) override {
    return ERROR_INVALID_HANDLE;
  }
  LONG RegDeleteValue(HKEY, const std::string&) override { return ERROR_INVALID_HANDLE; }
  LONG RegDeleteKey(HKEY, const std::string&) override { return ERROR_INVALID_HANDLE; }
  LONG RegEnumKeyEx(HKEY, DWORD, std::string&) override { return ERROR_INVALID_HANDLE; }
  LONG RegEnumValue(HKEY, DWORD, std::string&) override { return ERROR_INVALID_HANDLE; }
  BOOL GetUserName(std::string&) override { return Fail(false); }
  BOOL LookupAccountSid(const std::string&, const SID&, std::string&, std::string&) override {
    return Fail(false);
  }
  BOOL LookupAccountName(const std::string&, const std::string&, SID&, std::string&) override {
    return Fail(false);
  }
  BOOL LoadLibrary(const std::string&) override { return Fail(false); }
  BOOL GetProcAddress(const std::string&, const std::string&) override { return Fail(false); }
  BOOL SHGetSpecialFolderPath(int, std::string&) override { return Fail(false); }

private:
  std::map<std::string, std::string> files_;
  std::map<std::string, DWORD> locked_;

  static std::string Key(std::string path) {
    for (char& c : path) {
      if (c >= 'a' && c <= 'z')
        c = static_cast<char>(c - 32);
    }
    return path;
  }
  const std::string* Find(const std::string& path) const {
    const auto it = files_.find(Key(path));
    return it == files_.end() ? nullptr : &it->second;
  }
  template <class T> static T Fail(T result, DWORD code = ERROR_FILE_NOT_FOUND) {
    SetLastError(code);
    return result;
  }
};

} // namespace quillon::test
