// The native URL-cache service: the running user's WinINet cache through its wide calls, each
// entry converted to the UTF-8 record the program reads.
//
// WinINet walks one container per search: no pattern gives the content entries only, "cookie:"
// the cookies, "visited:" the history. The program's empty pattern (or "*") means every container,
// so such a walk chains the three searches behind one handle of ours.

#include <windows.h>

#include <wininet.h>

#include "winapi/UrlCacheEntry.h"
#include "winapi/native/NativeBackend.h"
#include "winapi/native/NativeText.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace quillon::winapi::native {

// Our record has WinINet's narrow layout, so a caller's buffer reads as the real one would.
static_assert(sizeof(TUrlCacheEntryInfo) == sizeof(INTERNET_CACHE_ENTRY_INFOA));
static_assert(offsetof(TUrlCacheEntryInfo, lpszLocalFileName) ==
              offsetof(INTERNET_CACHE_ENTRY_INFOA, lpszLocalFileName));
static_assert(offsetof(TUrlCacheEntryInfo, LastSyncTime) ==
              offsetof(INTERNET_CACHE_ENTRY_INFOA, LastSyncTime));
static_assert(offsetof(TUrlCacheEntryInfo, lpszFileExtension) ==
              offsetof(INTERNET_CACHE_ENTRY_INFOA, lpszFileExtension));
static_assert(offsetof(TUrlCacheEntryInfo, dwExemptDelta) ==
              offsetof(INTERNET_CACHE_ENTRY_INFOA, dwExemptDelta));

namespace {

struct TCacheFindCloser {
  void operator()(HANDLE h) const { ::FindCloseUrlCache(h); }
};
using TCacheFind = std::unique_ptr<void, TCacheFindCloser>;

TFileTime FromNative(const FILETIME& t) {
  return TFileTime{t.dwLowDateTime, t.dwHighDateTime};
}

// A text of the entry, read no further than the end of the buffer that holds the record; WinINet
// leaves a missing text null.
std::string Text(const wchar_t* text, const wchar_t* begin, const wchar_t* end,
                 std::size_t limit = SIZE_MAX) {
  if (text == nullptr || text < begin || text >= end)
    return {};
  return Utf8Terminated(text, std::min(static_cast<std::size_t>(end - text), limit));
}

TUrlCacheEntryData FromNative(const INTERNET_CACHE_ENTRY_INFOW& in, std::size_t bufferChars) {
  const auto* begin = reinterpret_cast<const wchar_t*>(&in);
  const wchar_t* end = begin + bufferChars;
  TUrlCacheEntryData out;
  out.SourceUrl = Text(in.lpszSourceUrlName, begin, end);
  out.LocalFile = Text(in.lpszLocalFileName, begin, end);
  out.Headers = Text(in.lpHeaderInfo, begin, end, in.dwHeaderInfoSize);
  out.Extension = Text(in.lpszFileExtension, begin, end);
  out.EntryType = in.CacheEntryType;
  out.UseCount = in.dwUseCount;
  out.HitRate = in.dwHitRate;
  out.Size = (static_cast<std::uint64_t>(in.dwSizeHigh) << 32) | in.dwSizeLow;
  out.LastModified = FromNative(in.LastModifiedTime);
  out.Expire = FromNative(in.ExpireTime);
  out.LastAccess = FromNative(in.LastAccessTime);
  out.LastSync = FromNative(in.LastSyncTime);
  out.ExemptDelta = in.dwExemptDelta;
  return out;
}

// The wide entry buffer of one walk, grown when WinINet asks for more. Words, so the record at its
// start is aligned.
class TEntryBuffer {
public:
  INTERNET_CACHE_ENTRY_INFOW* Entry() {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOW*>(words_.data());
  }
  DWORD Bytes() const { return static_cast<DWORD>(words_.size() * sizeof(std::uint64_t)); }
  // The texts lie inside the buffer, so none runs past it.
  std::size_t Chars() const { return Bytes() / sizeof(wchar_t); }
  void Grow(DWORD needed) {
    const std::size_t words = (needed + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t);
    words_.assign(std::max(words, words_.size() * 2), 0);
  }

private:
  std::vector<std::uint64_t> words_ = std::vector<std::uint64_t>(512);
};

constexpr int kAttempts = 8; // an entry may grow between the size asked and the read

// One walk of ours: the searches it chains, the one open now, and an entry read from WinINet but
// not yet handed out (the caller's buffer was too small for it).
struct TWalk {
  std::vector<std::optional<std::wstring>> searches; // nullopt: the content entries
  std::size_t nextSearch = 0;
  TCacheFind current;
  TEntryBuffer buffer;
  std::optional<TUrlCacheEntryData> pending;
  DWORD deferredError = 0; // a container that failed, reported when the walk ends

  // Reads the next entry into pending; 0, or the error the walk ends with.
  DWORD Advance() {
    while (true) {
      if (current) {
        const DWORD error = Read([&](INTERNET_CACHE_ENTRY_INFOW* e, DWORD* size) {
          return ::FindNextUrlCacheEntryW(current.get(), e, size);
        });
        if (error == 0)
          return 0;
        current.reset();
        if (error != ERROR_NO_MORE_ITEMS && deferredError == 0)
          deferredError = error;
        continue;
      }
      if (nextSearch == searches.size()) {
        const DWORD error = deferredError ? deferredError : ERROR_NO_MORE_ITEMS;
        deferredError = 0;
        return error;
      }
      const std::optional<std::wstring>& search = searches[nextSearch++];
      const wchar_t* pattern = search ? search->c_str() : nullptr;
      HANDLE found = nullptr;
      const DWORD error = Read([&](INTERNET_CACHE_ENTRY_INFOW* e, DWORD* size) {
        found = ::FindFirstUrlCacheEntryW(pattern, e, size);
        return found != nullptr;
      });
      if (error == 0) {
        current.reset(found);
        return 0;
      }
      if (error != ERROR_NO_MORE_ITEMS && deferredError == 0)
        deferredError = error;
    }
  }

  // One WinINet read into the buffer, grown while it is too small.
  template <class Call> DWORD Read(Call call) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      DWORD size = buffer.Bytes();
      if (call(buffer.Entry(), &size)) {
        pending = FromNative(*buffer.Entry(), buffer.Chars());
        return 0;
      }
      const DWORD error = ::GetLastError();
      if (error != ERROR_INSUFFICIENT_BUFFER)
        return error;
      buffer.Grow(size > buffer.Bytes() ? size : buffer.Bytes() * 2);
    }
    return ERROR_INSUFFICIENT_BUFFER;
  }
};

bool Fail(DWORD code) {
  ::SetLastError(code);
  return false;
}

// The searches a pattern stands for; none for a pattern with a NUL in it.
std::vector<std::optional<std::wstring>> Searches(const std::string& pattern) {
  if (pattern.empty() || pattern == "*")
    return {std::nullopt, std::wstring(L"cookie:"), std::wstring(L"visited:")};
  if (pattern.find('\0') != std::string::npos)
    return {};
  return {Wide(pattern)};
}

class TNativeUrlCache final : public TUrlCacheService {
public:
  // A walk whose first entry does not fit is closed again: without a handle the caller can only
  // ask anew, which starts the same walk at the same entry.
  THandleValue FindFirst(const std::string& pattern, TUrlCacheEntryInfo* entry,
                         std::uint32_t& size) override {
    auto walk = std::make_unique<TWalk>();
    walk->searches = Searches(pattern);
    if (walk->searches.empty()) {
      ::SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (const DWORD error = walk->Advance(); error != 0) {
      ::SetLastError(error);
      return 0;
    }
    if (!FillUrlCacheEntry(*walk->pending, entry, size)) {
      walk.reset();
      ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
      return 0;
    }
    walk->pending.reset();
    const std::lock_guard lock(mutex_);
    const THandleValue handle = nextHandle_++;
    walks_.emplace(handle, std::move(walk));
    return handle;
  }

  // An entry that does not fit stays for the next call: a size probe never moves the walk on.
  bool FindNext(THandleValue find, TUrlCacheEntryInfo* entry, std::uint32_t& size) override {
    const std::lock_guard lock(mutex_);
    const auto it = walks_.find(find);
    if (it == walks_.end())
      return Fail(ERROR_INVALID_HANDLE);
    TWalk& walk = *it->second;
    if (!walk.pending)
      if (const DWORD error = walk.Advance(); error != 0)
        return Fail(error);
    if (!FillUrlCacheEntry(*walk.pending, entry, size))
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    walk.pending.reset();
    return true;
  }

  bool FindEnd(THandleValue find) override {
    const std::lock_guard lock(mutex_);
    return walks_.erase(find) != 0 || Fail(ERROR_INVALID_HANDLE);
  }

  bool DeleteEntry(const std::string& url) override {
    if (url.empty() || url.find('\0') != std::string::npos)
      return Fail(ERROR_FILE_NOT_FOUND);
    return ::DeleteUrlCacheEntryW(Wide(url).c_str());
  }

  bool UnlockEntryFile(const std::string& url) override {
    if (url.empty() || url.find('\0') != std::string::npos)
      return Fail(ERROR_FILE_NOT_FOUND);
    return ::UnlockUrlCacheEntryFileW(Wide(url).c_str(), 0);
  }

private:
  std::mutex mutex_;
  std::map<THandleValue, std::unique_ptr<TWalk>> walks_;
  THandleValue nextHandle_ = 1;
};

} // namespace

std::shared_ptr<TUrlCacheService> NativeUrlCache() {
  return std::make_shared<TNativeUrlCache>();
}

} // namespace quillon::winapi::native
