#pragma once
// The Windows services the program calls, with Win32 names, argument order, result codes and
// error codes. One process-wide backend (Services.h: one interface per service) serves them;
// start-up chooses it (SetWinApi). Code outside winapi/ calls only the free functions below and
// never learns which backend runs. A native backend's files never include this header: its names
// are <windows.h>'s.
//
// Strings are the "A" flavour of the Win32 calls: bytes in the system code page, which is UTF-8
// here. Paths are Windows paths ("C:\Users\alice\NTUSER.DAT"), compared without regard to case.

#include "winapi/Services.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace quillon::winapi {

using BOOL = bool;
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = std::uint32_t;
using REGSAM = std::uint32_t;
using HKEY = TKeyValue; // registry key handle; the predefined roots have the Windows values
using HANDLE = THandleValue;

// ---------------------------------------------------------------------------------------------
// Error codes (GetLastError and the registry's LONG results)
constexpr LONG ERROR_SUCCESS = 0;
constexpr LONG ERROR_FILE_NOT_FOUND = 2;
constexpr LONG ERROR_PATH_NOT_FOUND = 3;
constexpr LONG ERROR_ACCESS_DENIED = 5;
constexpr LONG ERROR_INVALID_HANDLE = 6;
constexpr LONG ERROR_NOT_ENOUGH_MEMORY = 8;
constexpr LONG ERROR_INVALID_DATA = 13;
constexpr LONG ERROR_WRITE_FAULT = 29;
constexpr LONG ERROR_READ_FAULT = 30;
constexpr LONG ERROR_NO_MORE_FILES = 18;
constexpr LONG ERROR_NOT_SAME_DEVICE = 17;
constexpr LONG ERROR_SHARING_VIOLATION = 32;
constexpr LONG ERROR_DIRECTORY = 267;
constexpr LONG ERROR_DISK_FULL = 112;
constexpr LONG ERROR_FILE_TOO_LARGE = 223;
constexpr LONG ERROR_INVALID_NAME = 123;
constexpr LONG ERROR_NOT_SUPPORTED = 50;
constexpr LONG ERROR_FILE_EXISTS = 80;
constexpr LONG ERROR_INVALID_PARAMETER = 87;
constexpr LONG ERROR_INSUFFICIENT_BUFFER = 122;
constexpr LONG ERROR_MOD_NOT_FOUND = 126;
constexpr LONG ERROR_PROC_NOT_FOUND = 127;
constexpr LONG ERROR_DIR_NOT_EMPTY = 145;
constexpr LONG ERROR_ALREADY_EXISTS = 183;
constexpr LONG ERROR_MORE_DATA = 234;
constexpr LONG ERROR_NO_MORE_ITEMS = 259;
constexpr LONG ERROR_NONE_MAPPED = 1332;
constexpr LONG ERROR_INVALID_SID = 1337;
constexpr LONG ERROR_FILE_CORRUPT = 1392;
constexpr LONG ERROR_BADDB = 1009;
constexpr LONG ERROR_BADKEY = 1010;
constexpr LONG ERROR_CANTWRITE = 1013;
constexpr LONG ERROR_CANT_RESOLVE_FILENAME = 1921;
constexpr LONG ERROR_INVALID_FLAGS = 1004;

DWORD GetLastError();
void SetLastError(DWORD code);
// The system's message text for an error code ("The system cannot find the file specified.").
std::string FormatMessage(DWORD code);

// ---------------------------------------------------------------------------------------------
// Files
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_ARCHIVE = 0x20;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD FILE_ATTRIBUTE_REPARSE_POINT = 0x400; // a symbolic link or junction
constexpr DWORD INVALID_FILE_ATTRIBUTES = kInvalidAttributes;
constexpr HANDLE INVALID_HANDLE_VALUE = kInvalidHandle;

constexpr DWORD MOVEFILE_REPLACE_EXISTING = 0x1;

// CreateFile's creation dispositions that WriteWholeFile takes.
constexpr DWORD CREATE_NEW = 1;    // fails with ERROR_FILE_EXISTS when anything has the name
constexpr DWORD CREATE_ALWAYS = 2; // creates or truncates

constexpr UINT DRIVE_UNKNOWN = 0;
constexpr UINT DRIVE_NO_ROOT_DIR = 1;
constexpr UINT DRIVE_REMOVABLE = 2;
constexpr UINT DRIVE_FIXED = 3;
constexpr UINT DRIVE_REMOTE = 4;
constexpr UINT DRIVE_CDROM = 5;

using FILETIME = TFileTime;

inline std::uint64_t FileTimeToU64(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}
inline FILETIME U64ToFileTime(std::uint64_t v) {
  return FILETIME{static_cast<DWORD>(v & 0xFFFFFFFFu), static_cast<DWORD>(v >> 32)};
}

using WIN32_FIND_DATA = TFindData;

// The attributes of the entry; a symbolic link reports its target's (followed as the system does)
// with FILE_ATTRIBUTE_REPARSE_POINT added.
DWORD GetFileAttributes(const std::string& path);
bool FileExists(const std::string& path);      // a file, not a folder
bool DirectoryExists(const std::string& path); // a folder (a trailing "\" is allowed)

// Enumerates one folder level over a Windows wildcard mask ("C:\A\*.txt"); "." and ".." are
// reported for every folder except a drive root, as Windows does.
HANDLE FindFirstFile(const std::string& fileName, WIN32_FIND_DATA& data);
BOOL FindNextFile(HANDLE find, WIN32_FIND_DATA& data);
BOOL FindClose(HANDLE find);

// Owns a find handle and closes it.
class TFindHandle {
public:
  TFindHandle() = default;
  explicit TFindHandle(HANDLE h) : handle_(h) {}
  TFindHandle(const TFindHandle&) = delete;
  TFindHandle& operator=(const TFindHandle&) = delete;
  TFindHandle(TFindHandle&& o) noexcept : handle_(o.handle_) { o.handle_ = INVALID_HANDLE_VALUE; }
  TFindHandle& operator=(TFindHandle&& o) noexcept;
  ~TFindHandle();
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Get() const { return handle_; }

private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// As on Windows, a file that another program holds open (locked) cannot be deleted, replaced or
// overwritten (ERROR_SHARING_VIOLATION), and a read-only file is not changed (ERROR_ACCESS_DENIED).
// Deleting, moving or replacing a symbolic link works on the link itself.
BOOL DeleteFile(const std::string& path);
BOOL CreateDirectory(const std::string& path);
BOOL RemoveDirectory(const std::string& path);
BOOL MoveFileEx(const std::string& existing, const std::string& newName, DWORD flags);
BOOL CopyFile(const std::string& existing, const std::string& newName, BOOL failIfExists);
BOOL SetFileAttributes(const std::string& path, DWORD attributes);
// As ReplaceFileA without a backup: replacement takes the place of replaced, which must exist,
// and keeps replaced's attributes and permissions, so a rewritten store stays the browser's.
BOOL ReplaceFile(const std::string& replaced, const std::string& replacement);

// Whole-file access. ReadWholeFile fails (false, GetLastError set) for a missing or unreadable
// file. WriteWholeFile creates the file as creationDisposition says: CREATE_ALWAYS creates or
// truncates; CREATE_NEW creates only a file that does not exist, never through a link.
bool ReadWholeFile(const std::string& path, std::string& data);
bool WriteWholeFile(const std::string& path, std::string_view data,
                    DWORD creationDisposition = CREATE_ALWAYS);
// The host path of a Windows path for libraries that open files themselves (SQLite): every
// symbolic link on the way already resolved as the system would see it, so the path holds none;
// empty when the drive is not mapped. The file need not exist.
std::string HostPath(const std::string& path);
// The Windows path ("D:\home\u\x.dat") of a host path, a relative one taken from the working
// folder; empty when no drive holds it. For front ends at the boundary only.
std::string WindowsPathFromHost(const std::string& hostPath);

UINT GetDriveType(const std::string& rootPath); // "C:\" or "C:"
// The executable's own full path, as a Windows path.
std::string GetModuleFileName();

// ---------------------------------------------------------------------------------------------
// Time
struct SYSTEMTIME {
  WORD wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
  WORD wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
};

using TIME_ZONE_INFORMATION = TTimeZoneInfo;
constexpr DWORD TIME_ZONE_ID_UNKNOWN = 0;
constexpr DWORD TIME_ZONE_ID_STANDARD = 1;
constexpr DWORD TIME_ZONE_ID_DAYLIGHT = 2;
constexpr DWORD TIME_ZONE_ID_INVALID = 0xFFFFFFFF;

DWORD GetTimeZoneInformation(TIME_ZONE_INFORMATION& info);
BOOL FileTimeToLocalFileTime(const FILETIME& utc, FILETIME& local);
BOOL FileTimeToDosDateTime(const FILETIME& ft, WORD& dosDate, WORD& dosTime);
BOOL FileTimeToSystemTime(const FILETIME& ft, SYSTEMTIME& st);
void GetLocalTime(SYSTEMTIME& st);

// Text order of the user's locale, for the lists the system keeps sorted without regard to case.
using LCID = DWORD;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr DWORD NORM_IGNORECASE = 0x00000001;
constexpr DWORD LCMAP_SORTKEY = 0x00000400;
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// As CompareStringA: CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN; 0 with ERROR_INVALID_FLAGS
// for flags the backend does not serve. Both texts are compared over their whole length.
int CompareString(LCID locale, DWORD cmpFlags, std::string_view a, std::string_view b);
// As lstrcmpiA: CompareString(LOCALE_USER_DEFAULT, NORM_IGNORECASE) as <0, 0 or >0.
int lstrcmpi(std::string_view a, std::string_view b);
// As LCMapStringA with LCMAP_SORTKEY: dest gets a key whose byte order (std::string's <) is the
// order CompareString gives the texts under the same NORM_ flags, so a long list is sorted with one
// call per text instead of one per comparison. Answers dest's size; 0 with ERROR_INVALID_FLAGS for
// flags the backend does not serve.
int LCMapString(LCID locale, DWORD mapFlags, std::string_view src, std::string& dest);

// The locale's formats and names, as GetLocaleInfoA: data gets the text, the result is its length
// with the terminator, 0 (GetLastError set) when the backend knows none. Pictures are Windows'
// ("dd.MM.yyyy", "h:mm:ss tt").
using LCTYPE = DWORD;
constexpr LCTYPE LOCALE_SSHORTDATE = 0x1F;
constexpr LCTYPE LOCALE_SLONGDATE = 0x20;
constexpr LCTYPE LOCALE_STIMEFORMAT = 0x1003;
constexpr LCTYPE LOCALE_S1159 = 0x28;             // AM
constexpr LCTYPE LOCALE_S2359 = 0x29;             // PM
constexpr LCTYPE LOCALE_SDAYNAME1 = 0x2A;         // Monday; ..7 Sunday
constexpr LCTYPE LOCALE_SABBREVDAYNAME1 = 0x31;   // Mon; ..7 Sun
constexpr LCTYPE LOCALE_SMONTHNAME1 = 0x38;       // January; ..12
constexpr LCTYPE LOCALE_SABBREVMONTHNAME1 = 0x44; // Jan; ..12
int GetLocaleInfo(LCID locale, LCTYPE type, std::string& data);

// ---------------------------------------------------------------------------------------------
// Registry
constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002;
constexpr HKEY HKEY_USERS = 0x80000003;
constexpr HKEY HKEY_PERFORMANCE_DATA = 0x80000004;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005;
constexpr HKEY HKEY_DYN_DATA = 0x80000006;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_DWORD_BIG_ENDIAN = 5;
constexpr DWORD REG_LINK = 6;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_RESOURCE_LIST = 8;
constexpr DWORD REG_FULL_RESOURCE_DESCRIPTOR = 9;
constexpr DWORD REG_RESOURCE_REQUIREMENTS_LIST = 10;
constexpr DWORD REG_QWORD = 11;

constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// The access mask decides the view: KEY_WOW64_64KEY sees the native keys, KEY_WOW64_32KEY (or
// neither, as in a 32-bit process) the keys a 32-bit program is redirected to.
LONG RegOpenKeyEx(HKEY key, const std::string& subKey, DWORD options, REGSAM samDesired,
                  HKEY& result);
LONG RegCreateKeyEx(HKEY key, const std::string& subKey, REGSAM samDesired, HKEY& result,
                    DWORD* disposition = nullptr);
LONG RegCloseKey(HKEY key);
// As RegQueryValueExA: string types (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) come back as UTF-8 with
// their NUL terminators (a multi-string: every string NUL-ended, then one more NUL); other types
// as the raw bytes. Either out pointer may be null. An empty name is the key's default value.
LONG RegQueryValueEx(HKEY key, const std::string& valueName, DWORD* type, std::string* data);
// As RegSetValueExA: string data is UTF-8 (terminators optional) and stored as UTF-16LE.
LONG RegSetValueEx(HKEY key, const std::string& valueName, DWORD type, std::string_view data);
LONG RegDeleteValue(HKEY key, const std::string& valueName);
LONG RegDeleteKey(HKEY key, const std::string& subKey);
LONG RegEnumKeyEx(HKEY key, DWORD index, std::string& name);
LONG RegEnumValue(HKEY key, DWORD index, std::string& name);

// Owns an opened registry key and closes it.
class TRegKey {
public:
  TRegKey() = default;
  explicit TRegKey(HKEY h) : key_(h) {}
  TRegKey(const TRegKey&) = delete;
  TRegKey& operator=(const TRegKey&) = delete;
  TRegKey(TRegKey&& o) noexcept : key_(o.key_) { o.key_ = 0; }
  TRegKey& operator=(TRegKey&& o) noexcept;
  ~TRegKey();
  HKEY Get() const { return key_; }
  HKEY* Out() { return &key_; }
  bool Valid() const { return key_ != 0; }

private:
  HKEY key_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Accounts and security. A binary SID travels as its bytes.
using SID = std::string;

BOOL GetUserName(std::string& name);
BOOL LookupAccountSid(const std::string& systemName, const SID& sid, std::string& name,
                      std::string& domain);
BOOL LookupAccountName(const std::string& systemName, const std::string& accountName, SID& sid,
                       std::string& domain);
BOOL ConvertSidToStringSid(const SID& sid, std::string& text);
BOOL ConvertStringSidToSid(const std::string& text, SID& sid);
// Dynamic binding: whether a library can be loaded and whether it exports a function.
BOOL LoadLibrary(const std::string& libraryName);
BOOL GetProcAddress(const std::string& libraryName, const std::string& functionName);

// ---------------------------------------------------------------------------------------------
// Shell special folders
constexpr int CSIDL_FAVORITES = 6;
constexpr int CSIDL_APPDATA = 26;
constexpr int CSIDL_LOCAL_APPDATA = 28;
constexpr int CSIDL_INTERNET_CACHE = 32;
constexpr int CSIDL_COOKIES = 33;
constexpr int CSIDL_HISTORY = 34;
constexpr int CSIDL_PROGRAM_FILES = 38;

// The current user's folder of a CSIDL; false when the system knows none.
BOOL SHGetSpecialFolderPath(int csidl, std::string& path);

// ---------------------------------------------------------------------------------------------
// The URL cache (WinINet)
using INTERNET_CACHE_ENTRY_INFOA = TUrlCacheEntryInfo;

// CacheEntryType flags.
constexpr DWORD NORMAL_CACHE_ENTRY = 0x00000001;
constexpr DWORD STICKY_CACHE_ENTRY = 0x00000004;
constexpr DWORD EDITED_CACHE_ENTRY = 0x00000008;
constexpr DWORD TRACK_OFFLINE_CACHE_ENTRY = 0x00000010;
constexpr DWORD TRACK_ONLINE_CACHE_ENTRY = 0x00000020;
constexpr DWORD SPARSE_CACHE_ENTRY = 0x00010000;
constexpr DWORD OCX_CACHE_ENTRY = 0x00020000;
constexpr DWORD COOKIE_CACHE_ENTRY = 0x00100000;
constexpr DWORD URLHISTORY_CACHE_ENTRY = 0x00200000;

// As WinINet: entry may be null with entrySize 0 to ask for the size an entry needs
// (ERROR_INSUFFICIENT_BUFFER, entrySize set). FindFirstUrlCacheEntry answers 0 (no handle) on
// failure, ERROR_NO_MORE_ITEMS when the cache is empty; an empty pattern walks every container.
HANDLE FindFirstUrlCacheEntry(const std::string& urlSearchPattern,
                              INTERNET_CACHE_ENTRY_INFOA* entry, DWORD& entrySize);
BOOL FindNextUrlCacheEntry(HANDLE enumHandle, INTERNET_CACHE_ENTRY_INFOA* entry, DWORD& entrySize);
BOOL FindCloseUrlCache(HANDLE enumHandle);
// Removes the entry and its cached file.
BOOL DeleteUrlCacheEntry(const std::string& urlName);
BOOL UnlockUrlCacheEntryFile(const std::string& urlName, DWORD reserved);

// The process-wide backend. Start-up (and each test) installs one; calls before that, and calls of
// a service the backend leaves empty, fail as a system without files and keys would answer.
void SetWinApi(std::shared_ptr<TWinApi> api);
TWinApi* CurrentWinApi();

// Installs a backend for the life of a scope and puts the previous one back (tests).
class TWinApiScope {
public:
  explicit TWinApiScope(std::shared_ptr<TWinApi> api);
  ~TWinApiScope();
  TWinApiScope(const TWinApiScope&) = delete;
  TWinApiScope& operator=(const TWinApiScope&) = delete;

private:
  std::shared_ptr<TWinApi> previous_;
};

} // namespace quillon::winapi
