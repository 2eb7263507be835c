// The native system's own calls: URL-cache entries committed as a browser commits them (content
// and cookie entries with a local file that WinINet names in the entry's container), and Wine.

#include <windows.h>

#include <wininet.h>

#include "backend/SystemBackend.h"
#include "winapi/native/NativeText.h"

#include <stdexcept>

namespace quillon::test {

namespace {

using winapi::native::Wide;

struct THandleCloser {
  void operator()(HANDLE h) const { ::CloseHandle(h); }
};
using THandlePtr = std::unique_ptr<void, THandleCloser>;

void WriteLocalFile(const wchar_t* path, const std::string& bytes) {
  THandlePtr file(::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) {
    file.release();
    throw std::runtime_error("cannot create the cache file: " + std::to_string(::GetLastError()));
  }
  DWORD written = 0;
  if (!::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
      written != bytes.size())
    throw std::runtime_error("cannot write the cache file: " + std::to_string(::GetLastError()));
}

} // namespace

void CommitUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds) {
  for (const TUrlCacheSeed& seed : seeds) {
    const std::wstring url = Wide(seed.Url);
    wchar_t file[MAX_PATH] = {};
    const bool withFile = !seed.FileContent.empty();
    if (withFile) {
      if (!::CreateUrlCacheEntryW(url.c_str(), 0, L"htm", file, 0))
        throw std::runtime_error("CreateUrlCacheEntry " + seed.Url + ": " +
                                 std::to_string(::GetLastError()));
      WriteLocalFile(file, seed.FileContent);
    }
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    FILETIME modified;
    ::SystemTimeToFileTime(&now, &modified);
    ULARGE_INTEGER expire{};
    expire.LowPart = modified.dwLowDateTime;
    expire.HighPart = modified.dwHighDateTime;
    expire.QuadPart += 365ull * 24 * 3600 * 10000000;
    const FILETIME expireTime{expire.LowPart, expire.HighPart};
    if (!::CommitUrlCacheEntryW(url.c_str(), withFile ? file : nullptr, expireTime, modified,
                                seed.EntryType, nullptr, 0, nullptr, nullptr))
      throw std::runtime_error("CommitUrlCacheEntry " + seed.Url + ": " +
                               std::to_string(::GetLastError()));
  }
}

bool RunsOnWine() {
  // Wine's ntdll exports wine_get_version; Windows' does not.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

} // namespace quillon::test
