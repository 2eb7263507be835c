#pragma once
// A Windows-system stand-in that has nothing but a time zone the test chooses.

#include "winapi/WinApi.h"

#include <cstdint>
#include <memory>

namespace quillon::testing {

using namespace quillon::winapi;

class TFakeTimeZoneWinApi final : public TWinApi {
public:
  TFakeTimeZoneWinApi(LONG bias, LONG daylightBias, bool daylightNow)
      : bias_(bias), daylightBias_(daylightBias), daylightNow_(daylightNow) {}

  DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) override {
    info = {};
    info.Bias = bias_;
    info.DaylightBias = daylightBias_;
    return daylightNow_ ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
  }
  // As Windows does: the offset in force now, whatever the season of the date.
  BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) override {
    const std::int64_t minutes = bias_ + (daylightNow_ ? daylightBias_ : 0);
    const std::int64_t ticks =
        static_cast<std::int64_t>(FileTimeToU64(utc)) - minutes * 60 * 10000000;
    if (ticks < 0)
      return false;
    local = U64ToFileTime(static_cast<std::uint64_t>(ticks));
    return true;
  }

  DWORD GetFileAttributes(const std::string&) override { return INVALID_FILE_ATTRIBUTES; }
  HANDLE FindFirstFile(const std::string&, WIN32_FIND_DATA&) override {
    return INVALID_HANDLE_VALUE;
  }
  BOOL FindNextFile(HANDLE, WIN32_FIND_DATA&) override { return false; }
  BOOL FindClose(HANDLE) override { return false; }
  BOOL DeleteFile(const std::string&) override { return false; }
  BOOL CreateDirectory(const std::string&) override { return false; }
  BOOL RemoveDirectory(const std::string&) override { return false; }
  BOOL MoveFileEx(const std::string&, const std::string&, DWORD) override { return false; }
  BOOL CopyFile(const std::string&, const std::string&, BOOL) override { return false; }
  BOOL SetFileAttributes(const std::string&, DWORD) override { return false; }
  bool ReadWholeFile(const std::string&, std::string&) override { return false; }
  bool WriteWholeFile(const std::string&, std::string_view) override { return false; }
  std::unique_ptr<std::istream> OpenFileStream(const std::string&) override { return nullptr; }
  std::string HostPath(const std::string&) override { return {}; }
  std::string WindowsPathFromHost(const std::string&) override { return {}; }
  UINT GetDriveType(const std::string&) override { return DRIVE_NO_ROOT_DIR; }
  std::string GetModuleFileName() override { return {}; }
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
  BOOL GetUserName(std::string&) override { return false; }
  BOOL LookupAccountSid(const std::string&, const SID&, std::string&, std::string&) override {
    return false;
  }
  BOOL LookupAccountName(const std::string&, const std::string&, SID&, std::string&) override {
    return false;
  }
  BOOL LoadLibrary(const std::string&) override { return false; }
  BOOL GetProcAddress(const std::string&, const std::string&) override { return false; }
  BOOL SHGetSpecialFolderPath(int, std::string&) override { return false; }

private:
  LONG bias_;
  LONG daylightBias_;
  bool daylightNow_;
};

// Installs a fake zone for the life of a scope.
struct TFakeTimeZone {
  TFakeTimeZone(LONG bias, LONG daylightBias, bool daylightNow)
      : scope(std::make_shared<TFakeTimeZoneWinApi>(bias, daylightBias, daylightNow)) {}
  TWinApiScope scope;
};

} // namespace quillon::testing
