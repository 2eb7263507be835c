#include "winapi/image/ImageWinApi.h"

#include "winapi/TextCase.h"
#include "winapi/image/ImageAccounts.h"
#include "winapi/image/ImageFileSystem.h"
#include "winapi/image/ImageRegistry.h"

#include <ctime>
#include <limits>

namespace quillon::winapi::image {

TImageWinApi::TImageWinApi(const TImageConfig& config)
    : files_(std::make_unique<TImageFileSystem>(config)),
      registry_(std::make_unique<TImageRegistry>(*files_, config)),
      accounts_(std::make_unique<TImageAccounts>(*files_, *registry_, config)) {}

TImageWinApi::~TImageWinApi() = default;

DWORD TImageWinApi::GetFileAttributes(const std::string& path) {
  return files_->GetFileAttributes(path);
}
HANDLE TImageWinApi::FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data) {
  return files_->FindFirstFile(fileName, data);
}
BOOL TImageWinApi::FindNextFile(HANDLE find, WIN32_FIND_DATA& data) {
  return files_->FindNextFile(find, data);
}
BOOL TImageWinApi::FindClose(HANDLE find) {
  return files_->FindClose(find);
}
BOOL TImageWinApi::DeleteFile(const std::string& path) {
  return files_->DeleteFile(path);
}
BOOL TImageWinApi::CreateDirectory(const std::string& path) {
  return files_->CreateDirectory(path);
}
BOOL TImageWinApi::RemoveDirectory(const std::string& path) {
  return files_->RemoveDirectory(path);
}
BOOL TImageWinApi::MoveFileEx(const std::string& existing, const std::string& newName,
                              DWORD flags) {
  return files_->MoveFileEx(existing, newName, flags);
}
BOOL TImageWinApi::CopyFile(const std::string& existing, const std::string& newName,
                            BOOL failIfExists) {
  return files_->CopyFile(existing, newName, failIfExists);
}
BOOL TImageWinApi::SetFileAttributes(const std::string& path, DWORD attributes) {
  return files_->SetFileAttributes(path, attributes);
}
BOOL TImageWinApi::ReplaceFile(const std::string& replaced, const std::string& replacement) {
  return files_->ReplaceFile(replaced, replacement);
}
bool TImageWinApi::ReadWholeFile(const std::string& path, std::string& data) {
  return files_->ReadWholeFile(path, data);
}
bool TImageWinApi::WriteWholeFile(const std::string& path, std::string_view data,
                                  DWORD creationDisposition) {
  return files_->WriteWholeFile(path, data, creationDisposition);
}
std::string TImageWinApi::HostPath(const std::string& path) {
  return files_->HostPath(path);
}
std::string TImageWinApi::WindowsPathFromHost(const std::string& hostPath) {
  return files_->WindowsPathFromHost(hostPath);
}
UINT TImageWinApi::GetDriveType(const std::string& rootPath) {
  return files_->GetDriveType(rootPath);
}
std::string TImageWinApi::GetModuleFileName() {
  return files_->GetModuleFileName();
}

DWORD TImageWinApi::GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) {
  return HostTimeZoneInformation(info);
}

// As on Windows, the conversion applies the bias in force now, whatever the season of the date.
BOOL TImageWinApi::FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  TIME_ZONE_INFORMATION tz;
  const DWORD id = HostTimeZoneInformation(tz);
  const std::int64_t biasMinutes = tz.Bias + (id == TIME_ZONE_ID_DAYLIGHT ? tz.DaylightBias : 0);
  const std::uint64_t utcTicks = FileTimeToU64(utc);
  std::int64_t ticks = 0;
  // A FILETIME holds at most 2^63 - 1 ticks; the shifted time must stay in that range too.
  if (utcTicks > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()) ||
      __builtin_sub_overflow(static_cast<std::int64_t>(utcTicks),
                             biasMinutes * 60 * static_cast<std::int64_t>(10000000), &ticks) ||
      ticks < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  local = U64ToFileTime(static_cast<std::uint64_t>(ticks));
  return true;
}

// The image's own locale is not read. Text is folded to lower case and then compared byte by
// byte, which puts "_" and the other punctuation between "Z" and "a" before the letters, as
// Windows does. Only ASCII letters fold: bytes above 127 compare as they are, so UTF-8 text
// orders by code point and "É" and "é" stay two different texts.
int TImageWinApi::CompareString(LCID, DWORD cmpFlags, std::string_view a, std::string_view b) {
  if (cmpFlags != NORM_IGNORECASE) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  return CSTR_EQUAL + CompareLowerAscii(a, b);
}

// The key is the text folded as above; comparing keys bytewise is then CompareString's order.
int TImageWinApi::LCMapString(LCID, DWORD mapFlags, std::string_view src, std::string& dest) {
  if (mapFlags != (LCMAP_SORTKEY | NORM_IGNORECASE)) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  dest.assign(src);
  for (char& c : dest)
    c = LowerAscii(c);
  return static_cast<int>(dest.size());
}

LONG TImageWinApi::RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options,
                                REGSAM samDesired, HKEY& result) {
  return registry_->RegOpenKeyEx(key, subKey, options, samDesired, result);
}
LONG TImageWinApi::RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM samDesired,
                                  HKEY& result, DWORD* disposition) {
  return registry_->RegCreateKeyEx(key, subKey, samDesired, result, disposition);
}
LONG TImageWinApi::RegCloseKey(HKEY key) {
  return registry_->RegCloseKey(key);
}
LONG TImageWinApi::RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type,
                                   std::string* data) {
  return registry_->RegQueryValueEx(key, valueName, type, data);
}
LONG TImageWinApi::RegSetValueEx(HKEY key, const std::string& valueName, DWORD type,
                                 std::string_view data) {
  return registry_->RegSetValueEx(key, valueName, type, data);
}
LONG TImageWinApi::RegDeleteValue(HKEY key, const std::string& valueName) {
  return registry_->RegDeleteValue(key, valueName);
}
LONG TImageWinApi::RegDeleteKey(HKEY key, const std::string& subKey) {
  return registry_->RegDeleteKey(key, subKey);
}
LONG TImageWinApi::RegEnumKeyEx(HKEY key, DWORD index, std::string& name) {
  return registry_->RegEnumKeyEx(key, index, name);
}
LONG TImageWinApi::RegEnumValue(HKEY key, DWORD index, std::string& name) {
  return registry_->RegEnumValue(key, index, name);
}

BOOL TImageWinApi::GetUserName(std::string& name) {
  return accounts_->GetUserName(name);
}
BOOL TImageWinApi::LookupAccountSid(const std::string& systemName, const SID& sid,
                                    std::string& name, std::string& domain) {
  return accounts_->LookupAccountSid(systemName, sid, name, domain);
}
BOOL TImageWinApi::LookupAccountName(const std::string& systemName, const std::string& accountName,
                                     SID& sid, std::string& domain) {
  return accounts_->LookupAccountName(systemName, accountName, sid, domain);
}
BOOL TImageWinApi::LoadLibrary(const std::string& libraryName) {
  return accounts_->LoadLibrary(libraryName);
}
BOOL TImageWinApi::GetProcAddress(const std::string& libraryName, const std::string& functionName) {
  return accounts_->GetProcAddress(libraryName, functionName);
}
BOOL TImageWinApi::SHGetSpecialFolderPath(int csidl, std::string& path) {
  return accounts_->SHGetSpecialFolderPath(csidl, path);
}

namespace {
// Offset of local time from UTC in seconds at a moment, and whether daylight time is in force.
long OffsetAt(std::time_t t, bool& daylight) {
  std::tm local{};
  localtime_r(&t, &local);
  daylight = local.tm_isdst > 0;
  return local.tm_gmtoff;
}
} // namespace

DWORD HostTimeZoneInformation(TIME_ZONE_INFORMATION& info) {
  const std::time_t now = std::time(nullptr);
  bool daylightNow = false;
  const long nowOffset = OffsetAt(now, daylightNow);
  // Probe the year's two halves to learn the standard and the daylight offsets.
  std::tm probe{};
  localtime_r(&now, &probe);
  long standardOffset = nowOffset;
  long daylightOffset = nowOffset;
  bool haveDaylight = false;
  for (const int month : {0, 6}) {
    std::tm m{};
    m.tm_year = probe.tm_year;
    m.tm_mon = month;
    m.tm_mday = 1;
    m.tm_hour = 12;
    m.tm_isdst = -1;
    const std::time_t t = std::mktime(&m);
    bool dst = false;
    const long off = OffsetAt(t, dst);
    if (dst) {
      daylightOffset = off;
      haveDaylight = true;
    } else {
      standardOffset = off;
    }
  }
  if (daylightNow)
    daylightOffset = nowOffset;
  else
    standardOffset = nowOffset;
  info.Bias = static_cast<LONG>(-standardOffset / 60);
  info.StandardBias = 0;
  info.DaylightBias =
      haveDaylight || daylightNow ? static_cast<LONG>(-(daylightOffset - standardOffset) / 60) : 0;
  if (!haveDaylight && !daylightNow)
    return TIME_ZONE_ID_UNKNOWN;
  return daylightNow ? TIME_ZONE_ID_DAYLIGHT : TIME_ZONE_ID_STANDARD;
}

} // namespace quillon::winapi::image
