#include "winapi/WinApi.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <map>

namespace quillon::winapi {

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

template <class T> T Fail(T result, DWORD code = ERROR_FILE_NOT_FOUND) {
  SetLastError(code);
  return result;
}

std::shared_ptr<TWinApi>& Slot() {
  static std::shared_ptr<TWinApi> api = std::make_shared<TNullWinApi>();
  return api;
}

TWinApi& Api() {
  return *Slot();
}

} // namespace

DWORD TNullWinApi::GetFileAttributes(const std::string&) {
  return Fail(INVALID_FILE_ATTRIBUTES);
}
HANDLE TNullWinApi::FindFirstFile(const std::string&, WIN32_FIND_DATA&) {
  return Fail(INVALID_HANDLE_VALUE);
}
BOOL TNullWinApi::FindNextFile(HANDLE, WIN32_FIND_DATA&) {
  return Fail(false, ERROR_INVALID_HANDLE);
}
BOOL TNullWinApi::FindClose(HANDLE) {
  return Fail(false, ERROR_INVALID_HANDLE);
}
BOOL TNullWinApi::DeleteFile(const std::string&) {
  return Fail(false);
}
BOOL TNullWinApi::CreateDirectory(const std::string&) {
  return Fail(false, ERROR_PATH_NOT_FOUND);
}
BOOL TNullWinApi::RemoveDirectory(const std::string&) {
  return Fail(false);
}
BOOL TNullWinApi::MoveFileEx(const std::string&, const std::string&, DWORD) {
  return Fail(false);
}
BOOL TNullWinApi::CopyFile(const std::string&, const std::string&, BOOL) {
  return Fail(false);
}
BOOL TNullWinApi::SetFileAttributes(const std::string&, DWORD) {
  return Fail(false);
}
BOOL TNullWinApi::ReplaceFile(const std::string&, const std::string&) {
  return Fail(false);
}
bool TNullWinApi::ReadWholeFile(const std::string&, std::string&) {
  return Fail(false);
}
bool TNullWinApi::WriteWholeFile(const std::string&, std::string_view, DWORD) {
  return Fail(false, ERROR_PATH_NOT_FOUND);
}
std::string TNullWinApi::HostPath(const std::string&) {
  return {};
}
std::string TNullWinApi::WindowsPathFromHost(const std::string&) {
  return {};
}
UINT TNullWinApi::GetDriveType(const std::string&) {
  return DRIVE_NO_ROOT_DIR;
}
std::string TNullWinApi::GetModuleFileName() {
  return {};
}
DWORD TNullWinApi::GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) {
  info = {};
  return TIME_ZONE_ID_UNKNOWN;
}
BOOL TNullWinApi::FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  local = utc;
  return true;
}
// Without a locale there is no case to ignore: text orders by its bytes, and a text is its own key.
int TNullWinApi::CompareString(LCID, DWORD, std::string_view a, std::string_view b) {
  const int order = a.compare(b);
  return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}
int TNullWinApi::LCMapString(LCID, DWORD, std::string_view src, std::string& dest) {
  dest.assign(src);
  return static_cast<int>(dest.size());
}
LONG TNullWinApi::RegOpenKeyEx(HKEY, const std::string&, DWORD, REGSAM, HKEY&) {
  return ERROR_FILE_NOT_FOUND;
}
LONG TNullWinApi::RegCreateKeyEx(HKEY, const std::string&, REGSAM, HKEY&, DWORD*) {
  return ERROR_ACCESS_DENIED;
}
LONG TNullWinApi::RegCloseKey(HKEY) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegQueryValueEx(HKEY, const std::string&, DWORD*, std::string*) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegSetValueEx(HKEY, const std::string&, DWORD, std::string_view) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegDeleteValue(HKEY, const std::string&) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegDeleteKey(HKEY, const std::string&) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegEnumKeyEx(HKEY, DWORD, std::string&) {
  return ERROR_INVALID_HANDLE;
}
LONG TNullWinApi::RegEnumValue(HKEY, DWORD, std::string&) {
  return ERROR_INVALID_HANDLE;
}
BOOL TNullWinApi::GetUserName(std::string&) {
  return Fail(false, ERROR_NOT_SUPPORTED);
}
BOOL TNullWinApi::LookupAccountSid(const std::string&, const SID&, std::string&, std::string&) {
  return Fail(false, ERROR_NONE_MAPPED);
}
BOOL TNullWinApi::LookupAccountName(const std::string&, const std::string&, SID&, std::string&) {
  return Fail(false, ERROR_NONE_MAPPED);
}
BOOL TNullWinApi::LoadLibrary(const std::string&) {
  return Fail(false, ERROR_MOD_NOT_FOUND);
}
BOOL TNullWinApi::GetProcAddress(const std::string&, const std::string&) {
  return Fail(false, ERROR_PROC_NOT_FOUND);
}
BOOL TNullWinApi::SHGetSpecialFolderPath(int, std::string&) {
  return Fail(false);
}

DWORD GetLastError() {
  return lastError;
}
void SetLastError(DWORD code) {
  lastError = code;
}

std::string FormatMessage(DWORD code) {
  static const std::map<DWORD, const char*> texts = {
      {ERROR_SUCCESS, "The operation completed successfully."},
      {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
      {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
      {ERROR_ACCESS_DENIED, "Access is denied."},
      {ERROR_INVALID_HANDLE, "The handle is invalid."},
      {ERROR_NOT_ENOUGH_MEMORY, "Not enough memory resources are available to process this "
                                "command."},
      {ERROR_INVALID_DATA, "The data is invalid."},
      {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
      {ERROR_READ_FAULT, "The system cannot read from the specified device."},
      {ERROR_NOT_SAME_DEVICE, "The system cannot move the file to a different disk drive."},
      {ERROR_SHARING_VIOLATION,
       "The process cannot access the file because it is being used by another process."},
      {ERROR_DIRECTORY, "The directory name is invalid."},
      {ERROR_NO_MORE_FILES, "There are no more files."},
      {ERROR_DISK_FULL, "There is not enough space on the disk."},
      {ERROR_FILE_TOO_LARGE, "The file size exceeds the limit allowed and cannot be saved."},
      {ERROR_INVALID_NAME, "The filename, directory name, or volume label syntax is incorrect."},
      {ERROR_NOT_SUPPORTED, "The request is not supported."},
      {ERROR_FILE_EXISTS, "The file exists."},
      {ERROR_INVALID_PARAMETER, "The parameter is incorrect."},
      {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
      {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
      {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
      {ERROR_DIR_NOT_EMPTY, "The directory is not empty."},
      {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
      {ERROR_MORE_DATA, "More data is available."},
      {ERROR_NO_MORE_ITEMS, "No more data is available."},
      {ERROR_NONE_MAPPED, "No mapping between account names and security IDs was done."},
      {ERROR_INVALID_SID, "The security ID structure is invalid."},
      {ERROR_BADDB, "The configuration registry database is corrupt."},
      {ERROR_BADKEY, "The configuration registry key is invalid."},
      {ERROR_CANTWRITE, "The configuration registry key could not be written."},
      {ERROR_CANT_RESOLVE_FILENAME, "The name of the file cannot be resolved by the system."},
      {ERROR_INVALID_FLAGS, "Invalid flags."},
  };
  const auto it = texts.find(code);
  return it != texts.end() ? it->second : "Unknown error " + std::to_string(code) + ".";
}

void SetWinApi(std::shared_ptr<TWinApi> api) {
  Slot() = api ? std::move(api) : std::make_shared<TNullWinApi>();
}

TWinApi* CurrentWinApi() {
  return Slot().get();
}

TWinApiScope::TWinApiScope(std::shared_ptr<TWinApi> api) : previous_(Slot()) {
  SetWinApi(std::move(api));
}
TWinApiScope::~TWinApiScope() {
  SetWinApi(std::move(previous_));
}

// --- Files -------------------------------------------------------------------------------------

DWORD GetFileAttributes(const std::string& path) {
  return Api().GetFileAttributes(path);
}

bool FileExists(const std::string& path) {
  const DWORD a = GetFileAttributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
  const DWORD a = GetFileAttributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

HANDLE FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data) {
  return Api().FindFirstFile(fileName, data);
}
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data) {
  return Api().FindNextFile(find, data);
}
BOOL FindClose(HANDLE find) {
  return Api().FindClose(find);
}

TFindHandle& TFindHandle::operator=(TFindHandle&& o) noexcept {
  if (this != &o) {
    if (Valid())
      FindClose(handle_);
    handle_ = o.handle_;
    o.handle_ = INVALID_HANDLE_VALUE;
  }
  return *this;
}

TFindHandle::~TFindHandle() {
  if (Valid())
    FindClose(handle_);
}

BOOL DeleteFile(const std::string& path) {
  return Api().DeleteFile(path);
}
BOOL CreateDirectory(const std::string& path) {
  return Api().CreateDirectory(path);
}
BOOL RemoveDirectory(const std::string& path) {
  return Api().RemoveDirectory(path);
}
BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD flags) {
  return Api().MoveFileEx(existing, newName, flags);
}
BOOL CopyFile(const std::string& existing, const std::string& newName, BOOL failIfExists) {
  return Api().CopyFile(existing, newName, failIfExists);
}
BOOL SetFileAttributes(const std::string& path, DWORD attributes) {
  return Api().SetFileAttributes(path, attributes);
}
BOOL ReplaceFile(const std::string& replaced, const std::string& replacement) {
  return Api().ReplaceFile(replaced, replacement);
}
bool ReadWholeFile(const std::string& path, std::string& data) {
  return Api().ReadWholeFile(path, data);
}
bool WriteWholeFile(const std::string& path, std::string_view data, DWORD creationDisposition) {
  return Api().WriteWholeFile(path, data, creationDisposition);
}
std::string HostPath(const std::string& path) {
  return Api().HostPath(path);
}
std::string WindowsPathFromHost(const std::string& hostPath) {
  return Api().WindowsPathFromHost(hostPath);
}
UINT GetDriveType(const std::string& rootPath) {
  return Api().GetDriveType(rootPath);
}
std::string GetModuleFileName() {
  return Api().GetModuleFileName();
}

// --- Time --------------------------------------------------------------------------------------

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) {
  return Api().GetTimeZoneInformation(info);
}

BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  return Api().FileTimeToLocalFileTime(utc, local);
}

namespace {
constexpr std::int64_t kTicksPerSecond = 10000000;
// Seconds from 1601-01-01 to 1970-01-01.
constexpr std::int64_t kFileTimeUnixOffsetSeconds = 11644473600;

// Days since 1970-01-01 to a civil date (proleptic Gregorian).
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y += (m <= 2);
}
} // namespace

BOOL FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME& st) {
  const std::uint64_t ticks = FileTimeToU64(ft);
  if (ticks > 0x7FFFFFFFFFFFFFFFull) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  const std::int64_t totalSeconds = static_cast<std::int64_t>(ticks / kTicksPerSecond);
  const std::int64_t unixSeconds = totalSeconds - kFileTimeUnixOffsetSeconds;
  std::int64_t days = unixSeconds / 86400;
  std::int64_t secOfDay = unixSeconds % 86400;
  if (secOfDay < 0) {
    secOfDay += 86400;
    --days;
  }
  std::int64_t y = 0;
  unsigned m = 0, d = 0;
  CivilFromDays(days, y, m, d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  // 1970-01-01 was a Thursday.
  st.wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 4) % 7);
  st.wHour = static_cast<WORD>(secOfDay / 3600);
  st.wMinute = static_cast<WORD>((secOfDay / 60) % 60);
  st.wSecond = static_cast<WORD>(secOfDay % 60);
  st.wMilliseconds = static_cast<WORD>((ticks % kTicksPerSecond) / 10000);
  return true;
}

BOOL FileTimeToDosDateTime(const FILETIME& ft, WORD& dosDate, WORD& dosTime) {
  SYSTEMTIME st;
  if (!FileTimeToSystemTime(ft, st) || st.wYear < 1980 || st.wYear > 2107) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  dosDate = static_cast<WORD>(((st.wYear - 1980) << 9) | (st.wMonth << 5) | st.wDay);
  dosTime = static_cast<WORD>((st.wHour << 11) | (st.wMinute << 5) | (st.wSecond / 2));
  return true;
}

void GetLocalTime(SYSTEMTIME& st) {
  const auto now = std::chrono::system_clock::now();
  const auto sinceEpoch = now.time_since_epoch();
  const std::int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  FILETIME utc = U64ToFileTime(static_cast<std::uint64_t>(
      (ms / 1000 + kFileTimeUnixOffsetSeconds) * kTicksPerSecond + (ms % 1000) * 10000));
  FILETIME local;
  if (!FileTimeToLocalFileTime(utc, local))
    local = utc;
  FileTimeToSystemTime(local, st);
}

int CompareString(LCID locale, DWORD cmpFlags, std::string_view a, std::string_view b) {
  return Api().CompareString(locale, cmpFlags, a, b);
}
int lstrcmpi(std::string_view a, std::string_view b) {
  return CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, b) - CSTR_EQUAL;
}
int LCMapString(LCID locale, DWORD mapFlags, std::string_view src, std::string& dest) {
  return Api().LCMapString(locale, mapFlags, src, dest);
}

// --- Registry ----------------------------------------------------------------------------------

LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, REGSAM samDesired,
                  HKEY& result) {
  return Api().RegOpenKeyEx(key, subKey, options, samDesired, result);
}
LONG RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM samDesired, HKEY& result,
                    DWORD* disposition) {
  return Api().RegCreateKeyEx(key, subKey, samDesired, result, disposition);
}
LONG RegCloseKey(HKEY key) {
  return Api().RegCloseKey(key);
}
LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, std::string* data) {
  return Api().RegQueryValueEx(key, valueName, type, data);
}
LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, std::string_view data) {
  return Api().RegSetValueEx(key, valueName, type, data);
}
LONG RegDeleteValue(HKEY key, const std::string& valueName) {
  return Api().RegDeleteValue(key, valueName);
}
LONG RegDeleteKey(HKEY key, const std::string& subKey) {
  return Api().RegDeleteKey(key, subKey);
}
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name) {
  return Api().RegEnumKeyEx(key, index, name);
}
LONG RegEnumValue(HKEY key, DWORD index, std::string& name) {
  return Api().RegEnumValue(key, index, name);
}

TRegKey& TRegKey::operator=(TRegKey&& o) noexcept {
  if (this != &o) {
    if (Valid())
      RegCloseKey(key_);
    key_ = o.key_;
    o.key_ = 0;
  }
  return *this;
}

TRegKey::~TRegKey() {
  if (Valid())
    RegCloseKey(key_);
}

// --- Accounts ----------------------------------------------------------------------------------

BOOL GetUserName(std::string& name) {
  return Api().GetUserName(name);
}
BOOL LookupAccountSid(const std::string& systemName, const SID& sid, std::string& name,
                      std::string& domain) {
  return Api().LookupAccountSid(systemName, sid, name, domain);
}
BOOL LookupAccountName(const std::string& systemName, const std::string& accountName, SID& sid,
                       std::string& domain) {
  return Api().LookupAccountName(systemName, accountName, sid, domain);
}
BOOL LoadLibrary(const std::string& libraryName) {
  return Api().LoadLibrary(libraryName);
}
BOOL GetProcAddress(const std::string& libraryName, const std::string& functionName) {
  return Api().GetProcAddress(libraryName, functionName);
}

// SID layout: revision, sub-authority count, 48-bit big-endian identifier authority, then the
// sub-authorities as 32-bit little-endian words.
BOOL ConvertSidToStringSid(const SID& sid, std::string& text) {
  if (sid.size() < 8 || static_cast<BYTE>(sid[0]) != 1) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  const unsigned count = static_cast<BYTE>(sid[1]);
  if (count > 15 || sid.size() != 8 + 4 * static_cast<std::size_t>(count)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  std::uint64_t authority = 0;
  for (int i = 2; i < 8; ++i)
    authority = (authority << 8) | static_cast<BYTE>(sid[i]);
  text = "S-1-";
  if (authority >= (1ull << 32)) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%012llX", static_cast<unsigned long long>(authority));
    text += buf;
  } else {
    text += std::to_string(authority);
  }
  for (unsigned i = 0; i < count; ++i) {
    const std::size_t o = 8 + 4 * i;
    const std::uint32_t sub = static_cast<BYTE>(sid[o]) | (static_cast<BYTE>(sid[o + 1]) << 8) |
                              (static_cast<BYTE>(sid[o + 2]) << 16) |
                              (static_cast<std::uint32_t>(static_cast<BYTE>(sid[o + 3])) << 24);
    text += "-" + std::to_string(sub);
  }
  return true;
}

namespace {
bool ParseUnsigned(std::string_view s, std::uint64_t& v, std::uint64_t max) {
  if (s.empty())
    return false;
  int base = 10;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  v = 0;
  for (const char c : s) {
    int digit;
    if (c >= '0' && c <= '9')
      digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      digit = c - 'A' + 10;
    else
      return false;
    v = v * base + digit;
    if (v > max)
      return false;
  }
  return true;
}
} // namespace

BOOL ConvertStringSidToSid(const std::string& text, SID& sid) {
  std::vector<std::string_view> parts;
  std::string_view rest(text);
  while (true) {
    const auto dash = rest.find('-');
    parts.push_back(rest.substr(0, dash));
    if (dash == std::string_view::npos)
      break;
    rest.remove_prefix(dash + 1);
  }
  std::uint64_t authority = 0;
  if (parts.size() < 3 || parts.size() > 18 || (parts[0] != "S" && parts[0] != "s") ||
      parts[1] != "1" || !ParseUnsigned(parts[2], authority, 0xFFFFFFFFFFFFull)) {
    SetLastError(ERROR_INVALID_SID);
    return false;
  }
  SID out;
  out.push_back(1);
  out.push_back(static_cast<char>(parts.size() - 3));
  for (int shift = 40; shift >= 0; shift -= 8)
    out.push_back(static_cast<char>((authority >> shift) & 0xFF));
  for (std::size_t i = 3; i < parts.size(); ++i) {
    std::uint64_t sub = 0;
    if (!ParseUnsigned(parts[i], sub, 0xFFFFFFFFull)) {
      SetLastError(ERROR_INVALID_SID);
      return false;
    }
    for (int b = 0; b < 4; ++b)
      out.push_back(static_cast<char>((sub >> (8 * b)) & 0xFF));
  }
  sid = std::move(out);
  return true;
}

// --- Shell -------------------------------------------------------------------------------------

BOOL SHGetSpecialFolderPath(int csidl, std::string& path) {
  return Api().SHGetSpecialFolderPath(csidl, path);
}

} // namespace quillon::winapi
