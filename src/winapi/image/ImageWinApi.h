#pragma once
// The image backend: serves the Windows services from a Windows system image on the host.

#include "winapi/WinApi.h"
#include "winapi/image/ImageConfig.h"

#include <memory>

namespace quillon::winapi::image {

class TImageFileSystem;
class TImageRegistry;
class TImageAccounts;

class TImageWinApi : public TWinApi {
public:
  explicit TImageWinApi(const TImageConfig& config);
  ~TImageWinApi() override;

  DWORD GetFileAttributes(const std::string& path) override;
  HANDLE FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data) override;
  BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data) override;
  BOOL FindClose(HANDLE find) override;
  BOOL DeleteFile(const std::string& path) override;
  BOOL CreateDirectory(const std::string& path) override;
  BOOL RemoveDirectory(const std::string& path) override;
  BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD flags) override;
  BOOL CopyFile(const std::string& existing, const std::string& newName,
                BOOL failIfExists) override;
  BOOL SetFileAttributes(const std::string& path, DWORD attributes) override;
  BOOL ReplaceFile(const std::string& replaced, const std::string& replacement) override;
  bool ReadWholeFile(const std::string& path, std::string& data) override;
  bool WriteWholeFile(const std::string& path, std::string_view data,
                      DWORD creationDisposition) override;
  std::string HostPath(const std::string& path) override;
  std::string WindowsPathFromHost(const std::string& hostPath) override;
  UINT GetDriveType(const std::string& rootPath) override;
  std::string GetModuleFileName() override;

  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) override;
  BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) override;
  int CompareString(LCID locale, DWORD cmpFlags, std::string_view a, std::string_view b) override;
  int LCMapString(LCID locale, DWORD mapFlags, std::string_view src, std::string& dest) override;

  LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, REGSAM samDesired,
                    HKEY& result) override;
  LONG RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM samDesired, HKEY& result,
                      DWORD* disposition) override;
  LONG RegCloseKey(HKEY key) override;
  LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type,
                       std::string* data) override;
  LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type,
                     std::string_view data) override;
  LONG RegDeleteValue(HKEY key, const std::string& valueName) override;
  LONG RegDeleteKey(HKEY key, const std::string& subKey) override;
  LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name) override;
  LONG RegEnumValue(HKEY key, DWORD index, std::string& name) override;

  BOOL GetUserName(std::string& name) override;
  BOOL LookupAccountSid(const std::string& systemName, const SID& sid, std::string& name,
                        std::string& domain) override;
  BOOL LookupAccountName(const std::string& systemName, const std::string& accountName, SID& sid,
                         std::string& domain) override;
  BOOL LoadLibrary(const std::string& libraryName) override;
  BOOL GetProcAddress(const std::string& libraryName, const std::string& functionName) override;
  BOOL SHGetSpecialFolderPath(int csidl, std::string& path) override;

  TImageRegistry& Registry() { return *registry_; }

private:
  std::unique_ptr<TImageFileSystem> files_;
  std::unique_ptr<TImageRegistry> registry_;
  std::unique_ptr<TImageAccounts> accounts_;
};

// Host time-zone information as Windows reports it: Bias and DaylightBias in minutes and whether
// daylight time is in effect now.
DWORD HostTimeZoneInformation(TIME_ZONE_INFORMATION& info);

} // namespace quillon::winapi::image
