#pragma once
// The Windows services, one interface per service, and a backend as the set of its services.
// The façade (WinApi.h) gives callers the Win32 names; this header is what a backend implements.
//
// A native backend includes this header beside <windows.h>, so nothing here may be a name that
// <windows.h> defines as a macro or a type (FindFirstFile, DeleteFile, RegOpenKeyEx, LoadLibrary,
// ERROR_*, KEY_*, DWORD, HKEY, FILETIME, SID ...): methods have their own names, values are fixed
// width integers, and the codes and flags are the Windows values, passed through unchanged.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quillon::winapi {

using THandleValue = std::uintptr_t; // a find handle; kInvalidHandle for none
using TKeyValue = std::uintptr_t;    // a registry key; the predefined roots have Windows' values

constexpr THandleValue kInvalidHandle = static_cast<THandleValue>(-1);
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFF;

// 100-ns intervals since 1601-01-01 UTC, low word first (the field names are Windows').
struct TFileTime {
  std::uint32_t dwLowDateTime = 0;
  std::uint32_t dwHighDateTime = 0;
};

struct TFindData {
  std::uint32_t dwFileAttributes = 0;
  TFileTime ftCreationTime;
  TFileTime ftLastAccessTime;
  TFileTime ftLastWriteTime;
  std::uint64_t nFileSize = 0;
  std::string cFileName;
};

struct TTimeZoneInfo {
  std::int32_t Bias = 0;         // minutes; UTC = local time + Bias
  std::int32_t StandardBias = 0; // minutes
  std::int32_t DaylightBias = 0; // minutes, added to Bias during daylight time
};

// The calling thread's last error of one backend (Windows keeps one per thread).
class TLastError {
public:
  virtual ~TLastError() = default;
  virtual std::uint32_t Get() const = 0;
  virtual void Set(std::uint32_t code) = 0;
};

// A last error kept by this object for each thread that sets one.
class TThreadLastError final : public TLastError {
public:
  TThreadLastError();
  std::uint32_t Get() const override;
  void Set(std::uint32_t code) override;

private:
  std::uint64_t id_; // never reused, so a new object never sees an old one's codes
};

// Files under Windows path rules. Results and errors are those of the Win32 call named at each
// method; a failure sets the backend's last error.
class TFileService {
public:
  virtual ~TFileService() = default;
  virtual std::uint32_t Attributes(const std::string& path) = 0;                // GetFileAttributes
  virtual THandleValue FindFirst(const std::string& mask, TFindData& data) = 0; // FindFirstFile
  virtual bool FindNext(THandleValue find, TFindData& data) = 0;                // FindNextFile
  virtual bool FindEnd(THandleValue find) = 0;                                  // FindClose
  virtual bool Delete(const std::string& path) = 0;                             // DeleteFile
  virtual bool MakeFolder(const std::string& path) = 0;                         // CreateDirectory
  virtual bool RemoveFolder(const std::string& path) = 0;                       // RemoveDirectory
  virtual bool Move(const std::string& existing, const std::string& newName,
                    std::uint32_t flags) = 0; // MoveFileEx
  virtual bool Copy(const std::string& existing, const std::string& newName,
                    bool failIfExists) = 0; // CopyFile
  // SetFileAttributes, ReplaceFile, and whole-file reads and writes.
  virtual bool SetAttributes(const std::string& path, std::uint32_t attributes) = 0;
  virtual bool Replace(const std::string& replaced, const std::string& replacement) = 0;
  virtual bool ReadWhole(const std::string& path, std::string& data) = 0;
  virtual bool WriteWhole(const std::string& path, std::string_view data,
                          std::uint32_t creationDisposition) = 0;
  virtual std::string HostPath(const std::string& path) = 0;
  virtual std::string WindowsPathFromHost(const std::string& hostPath) = 0;
  virtual std::uint32_t DriveType(const std::string& rootPath) = 0; // GetDriveType
  virtual std::string ModuleFileName() = 0;                         // GetModuleFileName
};

// The registry. Every method answers a Windows error code (0 for success), as the Reg* calls do.
class TRegistryService {
public:
  virtual ~TRegistryService() = default;
  virtual std::int32_t Open(TKeyValue key, const std::string& subKey, std::uint32_t options,
                            std::uint32_t access, TKeyValue& result) = 0;
  virtual std::int32_t Create(TKeyValue key, const std::string& subKey, std::uint32_t access,
                              TKeyValue& result, std::uint32_t* disposition) = 0;
  virtual std::int32_t Close(TKeyValue key) = 0;
  virtual std::int32_t QueryValue(TKeyValue key, const std::string& name, std::uint32_t* type,
                                  std::string* data) = 0;
  virtual std::int32_t SetValue(TKeyValue key, const std::string& name, std::uint32_t type,
                                std::string_view data) = 0;
  virtual std::int32_t DeleteValue(TKeyValue key, const std::string& name) = 0;
  virtual std::int32_t DeleteKey(TKeyValue key, const std::string& subKey) = 0;
  virtual std::int32_t EnumKey(TKeyValue key, std::uint32_t index, std::string& name) = 0;
  virtual std::int32_t EnumValue(TKeyValue key, std::uint32_t index, std::string& name) = 0;
};

// Accounts, shell folders and what the system can load. A SID travels as its bytes.
class TAccountService {
public:
  virtual ~TAccountService() = default;
  virtual bool UserName(std::string& name) = 0;
  virtual bool AccountOfSid(const std::string& systemName, const std::string& sid,
                            std::string& name, std::string& domain) = 0;
  virtual bool SidOfAccount(const std::string& systemName, const std::string& accountName,
                            std::string& sid, std::string& domain) = 0;
  virtual bool CanLoadLibrary(const std::string& libraryName) = 0;
  virtual bool Exports(const std::string& libraryName, const std::string& functionName) = 0;
  virtual bool SpecialFolder(int csidl, std::string& path) = 0; // SHGetSpecialFolderPath
};

// One entry of the URL cache with the layout of WinINet's INTERNET_CACHE_ENTRY_INFOA, so that a
// native backend hands the real record through. The texts point into the buffer that holds the
// record, behind it; a null pointer is no text.
struct TUrlCacheEntryInfo {
  std::uint32_t dwStructSize = 0;
  char* lpszSourceUrlName = nullptr;
  char* lpszLocalFileName = nullptr;
  std::uint32_t CacheEntryType = 0;
  std::uint32_t dwUseCount = 0;
  std::uint32_t dwHitRate = 0;
  std::uint32_t dwSizeLow = 0;
  std::uint32_t dwSizeHigh = 0;
  TFileTime LastModifiedTime;
  TFileTime ExpireTime;
  TFileTime LastAccessTime;
  TFileTime LastSyncTime;
  char* lpHeaderInfo = nullptr;
  std::uint32_t dwHeaderInfoSize = 0;
  char* lpszFileExtension = nullptr;
  std::uint32_t dwExemptDelta = 0; // dwReserved of the union
};

// The WinINet URL cache of the user the system runs the program for. Each method answers as the
// WinINet call named beside it, setting the backend's last error on failure. An entry buffer is
// size bytes long; a call whose buffer is too small (null with size 0 asks for the size) fails
// with ERROR_INSUFFICIENT_BUFFER and sets size to the bytes the entry needs.
class TUrlCacheService {
public:
  virtual ~TUrlCacheService() = default;
  // FindFirstUrlCacheEntryA: 0 (no handle) on failure; ERROR_NO_MORE_ITEMS for an empty cache.
  // An empty pattern walks every container.
  virtual THandleValue FindFirst(const std::string& pattern, TUrlCacheEntryInfo* entry,
                                 std::uint32_t& size) = 0;
  virtual bool FindNext(THandleValue find, TUrlCacheEntryInfo* entry,
                        std::uint32_t& size) = 0;           // FindNextUrlCacheEntryA
  virtual bool FindEnd(THandleValue find) = 0;              // FindCloseUrlCache
  virtual bool DeleteEntry(const std::string& url) = 0;     // DeleteUrlCacheEntryA
  virtual bool UnlockEntryFile(const std::string& url) = 0; // UnlockUrlCacheEntryFileA
};

// Time zone, local time, text order and the locale's formats.
class TTimeLocaleService {
public:
  virtual ~TTimeLocaleService() = default;
  virtual std::uint32_t TimeZone(TTimeZoneInfo& info) = 0; // GetTimeZoneInformation
  virtual bool ToLocalFileTime(const TFileTime& utc, TFileTime& local) = 0;
  virtual int Compare(std::uint32_t locale, std::uint32_t flags, std::string_view a,
                      std::string_view b) = 0; // CompareStringA
  virtual int SortKey(std::uint32_t locale, std::uint32_t flags, std::string_view src,
                      std::string& dest) = 0; // LCMapStringA
  // As GetLocaleInfoA: the text of one LCTYPE of the locale; false (last error set) when the
  // backend has none.
  virtual bool LocaleInfo(std::uint32_t locale, std::uint32_t type, std::string& data) = 0;
};

// A backend: the set of its services. A service left empty answers as a system without it would
// (no files, no keys, no accounts, UTC and byte order), which is how a test installs just the one
// service it fakes.
class TWinApi {
public:
  virtual ~TWinApi() = default;
  std::shared_ptr<TLastError> lastError = std::make_shared<TThreadLastError>();
  std::shared_ptr<TFileService> files;
  std::shared_ptr<TRegistryService> registry;
  std::shared_ptr<TAccountService> accounts;
  std::shared_ptr<TUrlCacheService> urlCache;
  std::shared_ptr<TTimeLocaleService> timeLocale;
};

} // namespace quillon::winapi
