#include "winapi/WinApi.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <map>
#include <utility>

namespace quillon::winapi {

namespace {

std::shared_ptr<TWinApi>& Slot() {
  static std::shared_ptr<TWinApi> api = std::make_shared<TWinApi>();
  return api;
}

TWinApi& Api() {
  return *Slot();
}

template <class T> T Fail(T result, DWORD code = ERROR_FILE_NOT_FOUND) {
  SetLastError(code);
  return result;
}

// The installed backend's services; null when it leaves one empty.
TFileService* Files() {
  return Api().files.get();
}
TRegistryService* Registry() {
  return Api().registry.get();
}
TAccountService* Accounts() {
  return Api().accounts.get();
}
TUrlCacheService* UrlCache() {
  return Api().urlCache.get();
}
TTimeLocaleService* TimeLocale() {
  return Api().timeLocale.get();
}

} // namespace

TThreadLastError::TThreadLastError() {
  static std::atomic<std::uint64_t> next{0};
  id_ = ++next;
}

namespace {
// Each thread's codes by backend object. A thread sees few backends, so a short list is enough.
std::vector<std::pair<std::uint64_t, std::uint32_t>>& ThreadCodes() {
  thread_local std::vector<std::pair<std::uint64_t, std::uint32_t>> codes;
  return codes;
}
} // namespace

std::uint32_t TThreadLastError::Get() const {
  for (const auto& [id, code] : ThreadCodes())
    if (id == id_)
      return code;
  return ERROR_SUCCESS;
}

void TThreadLastError::Set(std::uint32_t code) {
  auto& codes = ThreadCodes();
  for (auto& [id, value] : codes) {
    if (id == id_) {
      value = code;
      return;
    }
  }
  // Forget the oldest backends' codes: a thread that made many (tests) keeps the recent ones.
  constexpr std::size_t kKept = 16;
  if (codes.size() >= kKept)
    codes.erase(codes.begin());
  codes.emplace_back(id_, code);
}

DWORD GetLastError() {
  return Api().lastError->Get();
}
void SetLastError(DWORD code) {
  Api().lastError->Set(code);
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
      {ERROR_FILE_CORRUPT, "The file or directory is corrupted and unreadable."},
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
  Slot() = api ? std::move(api) : std::make_shared<TWinApi>();
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
  TFileService* f = Files();
  return f ? f->Attributes(path) : Fail(INVALID_FILE_ATTRIBUTES);
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
  TFileService* f = Files();
  return f ? f->FindFirst(fileName, data) : Fail(INVALID_HANDLE_VALUE);
}
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data) {
  TFileService* f = Files();
  return f ? f->FindNext(find, data) : Fail(false, ERROR_INVALID_HANDLE);
}
BOOL FindClose(HANDLE find) {
  TFileService* f = Files();
  return f ? f->FindEnd(find) : Fail(false, ERROR_INVALID_HANDLE);
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
  TFileService* f = Files();
  return f ? f->Delete(path) : Fail(false);
}
BOOL CreateDirectory(const std::string& path) {
  TFileService* f = Files();
  return f ? f->MakeFolder(path) : Fail(false, ERROR_PATH_NOT_FOUND);
}
BOOL RemoveDirectory(const std::string& path) {
  TFileService* f = Files();
  return f ? f->RemoveFolder(path) : Fail(false);
}
BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD flags) {
  TFileService* f = Files();
  return f ? f->Move(existing, newName, flags) : Fail(false);
}
BOOL CopyFile(const std::string& existing, const std::string& newName, BOOL failIfExists) {
  TFileService* f = Files();
  return f ? f->Copy(existing, newName, failIfExists) : Fail(false);
}
BOOL SetFileAttributes(const std::string& path, DWORD attributes) {
  TFileService* f = Files();
  return f ? f->SetAttributes(path, attributes) : Fail(false);
}
BOOL ReplaceFile(const std::string& replaced, const std::string& replacement) {
  TFileService* f = Files();
  return f ? f->Replace(replaced, replacement) : Fail(false);
}
bool ReadWholeFile(const std::string& path, std::string& data) {
  TFileService* f = Files();
  return f ? f->ReadWhole(path, data) : Fail(false);
}
bool WriteWholeFile(const std::string& path, std::string_view data, DWORD creationDisposition) {
  TFileService* f = Files();
  return f ? f->WriteWhole(path, data, creationDisposition) : Fail(false, ERROR_PATH_NOT_FOUND);
}
std::string HostPath(const std::string& path) {
  TFileService* f = Files();
  return f ? f->HostPath(path) : std::string();
}
std::string WindowsPathFromHost(const std::string& hostPath) {
  TFileService* f = Files();
  return f ? f->WindowsPathFromHost(hostPath) : std::string();
}
UINT GetDriveType(const std::string& rootPath) {
  TFileService* f = Files();
  return f ? f->DriveType(rootPath) : DRIVE_NO_ROOT_DIR;
}
std::string GetModuleFileName() {
  TFileService* f = Files();
  return f ? f->ModuleFileName() : std::string();
}

// --- Time --------------------------------------------------------------------------------------

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info) {
  if (TTimeLocaleService* t = TimeLocale())
    return t->TimeZone(info);
  info = {};
  return TIME_ZONE_ID_UNKNOWN;
}

BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local) {
  if (TTimeLocaleService* t = TimeLocale())
    return t->ToLocalFileTime(utc, local);
  local = utc;
  return true;
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
  if (TTimeLocaleService* t = TimeLocale())
    return t->Compare(locale, cmpFlags, a, b);
  // Without a locale there is no case to ignore: text orders by its bytes.
  const int order = a.compare(b);
  return order < 0 ? CSTR_LESS_THAN : order > 0 ? CSTR_GREATER_THAN : CSTR_EQUAL;
}
int lstrcmpi(std::string_view a, std::string_view b) {
  return CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, b) - CSTR_EQUAL;
}
int LCMapString(LCID locale, DWORD mapFlags, std::string_view src, std::string& dest) {
  if (TTimeLocaleService* t = TimeLocale())
    return t->SortKey(locale, mapFlags, src, dest);
  dest.assign(src); // ... and a text is its own key
  return static_cast<int>(dest.size());
}

int GetLocaleInfo(LCID locale, LCTYPE type, std::string& data) {
  TTimeLocaleService* t = TimeLocale();
  if (t == nullptr)
    return Fail(0, ERROR_INVALID_FLAGS);
  if (!t->LocaleInfo(locale, type, data))
    return 0;
  return static_cast<int>(data.size()) + 1;
}

// --- Registry ----------------------------------------------------------------------------------

LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, REGSAM samDesired,
                  HKEY& result) {
  TRegistryService* r = Registry();
  return r ? r->Open(key, subKey, options, samDesired, result) : ERROR_FILE_NOT_FOUND;
}
LONG RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM samDesired, HKEY& result,
                    DWORD* disposition) {
  TRegistryService* r = Registry();
  return r ? r->Create(key, subKey, samDesired, result, disposition) : ERROR_ACCESS_DENIED;
}
LONG RegCloseKey(HKEY key) {
  TRegistryService* r = Registry();
  return r ? r->Close(key) : ERROR_INVALID_HANDLE;
}
LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, std::string* data) {
  TRegistryService* r = Registry();
  return r ? r->QueryValue(key, valueName, type, data) : ERROR_INVALID_HANDLE;
}
LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, std::string_view data) {
  TRegistryService* r = Registry();
  return r ? r->SetValue(key, valueName, type, data) : ERROR_INVALID_HANDLE;
}
LONG RegDeleteValue(HKEY key, const std::string& valueName) {
  TRegistryService* r = Registry();
  return r ? r->DeleteValue(key, valueName) : ERROR_INVALID_HANDLE;
}
LONG RegDeleteKey(HKEY key, const std::string& subKey) {
  TRegistryService* r = Registry();
  return r ? r->DeleteKey(key, subKey) : ERROR_INVALID_HANDLE;
}
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name) {
  TRegistryService* r = Registry();
  return r ? r->EnumKey(key, index, name) : ERROR_INVALID_HANDLE;
}
LONG RegEnumValue(HKEY key, DWORD index, std::string& name) {
  TRegistryService* r = Registry();
  return r ? r->EnumValue(key, index, name) : ERROR_INVALID_HANDLE;
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
  TAccountService* a = Accounts();
  return a ? a->UserName(name) : Fail(false, ERROR_NOT_SUPPORTED);
}
BOOL LookupAccountSid(const std::string& systemName, const SID& sid, std::string& name,
                      std::string& domain) {
  TAccountService* a = Accounts();
  return a ? a->AccountOfSid(systemName, sid, name, domain) : Fail(false, ERROR_NONE_MAPPED);
}
BOOL LookupAccountName(const std::string& systemName, const std::string& accountName, SID& sid,
                       std::string& domain) {
  TAccountService* a = Accounts();
  return a ? a->SidOfAccount(systemName, accountName, sid, domain) : Fail(false, ERROR_NONE_MAPPED);
}
BOOL LoadLibrary(const std::string& libraryName) {
  TAccountService* a = Accounts();
  return a ? a->CanLoadLibrary(libraryName) : Fail(false, ERROR_MOD_NOT_FOUND);
}
BOOL GetProcAddress(const std::string& libraryName, const std::string& functionName) {
  TAccountService* a = Accounts();
  return a ? a->Exports(libraryName, functionName) : Fail(false, ERROR_PROC_NOT_FOUND);
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
  TAccountService* a = Accounts();
  return a ? a->SpecialFolder(csidl, path) : Fail(false);
}

// --- URL cache ---------------------------------------------------------------------------------

// A system without a URL cache has no entries.
HANDLE FindFirstUrlCacheEntry(const std::string& urlSearchPattern,
                              INTERNET_CACHE_ENTRY_INFOA* entry, DWORD& entrySize) {
  TUrlCacheService* c = UrlCache();
  return c ? c->FindFirst(urlSearchPattern, entry, entrySize)
           : Fail(HANDLE{0}, ERROR_NO_MORE_ITEMS);
}

BOOL FindNextUrlCacheEntry(HANDLE enumHandle, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD& entrySize) {
  TUrlCacheService* c = UrlCache();
  return c ? c->FindNext(enumHandle, entry, entrySize) : Fail(false, ERROR_INVALID_HANDLE);
}

BOOL FindCloseUrlCache(HANDLE enumHandle) {
  TUrlCacheService* c = UrlCache();
  return c ? c->FindEnd(enumHandle) : Fail(false, ERROR_INVALID_HANDLE);
}

BOOL DeleteUrlCacheEntry(const std::string& urlName) {
  TUrlCacheService* c = UrlCache();
  return c ? c->DeleteEntry(urlName) : Fail(false);
}

BOOL UnlockUrlCacheEntryFile(const std::string& urlName, DWORD /*reserved*/) {
  TUrlCacheService* c = UrlCache();
  return c ? c->UnlockEntryFile(urlName) : Fail(false);
}

} // namespace quillon::winapi
