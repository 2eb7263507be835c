#include "platform/UrlCacheWalk.h"

#include <cstdint>
#include <vector>

namespace quillon {

using namespace winapi;

namespace {

// A buffer for one entry, aligned for the record at its start.
class TEntryBuffer {
public:
  INTERNET_CACHE_ENTRY_INFOA* Resize(DWORD size) {
    words_.assign((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
    return Entry();
  }
  INTERNET_CACHE_ENTRY_INFOA* Entry() {
    return reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(words_.data());
  }
  void Free() { std::vector<std::uint64_t>().swap(words_); }

private:
  std::vector<std::uint64_t> words_;
};

// A sized call that fails although the probe asked for that size: the entry changed between the
// two calls. A few in a row are skipped; more mean the cache does not move on.
constexpr int kMaxFailedFetches = 16;

} // namespace

DWORD WalkUrlCache(const std::string& pattern,
                   const std::function<bool(const INTERNET_CACHE_ENTRY_INFOA&)>& visit) {
  TEntryBuffer buffer;
  DWORD size = 0;
  HANDLE find = FindFirstUrlCacheEntry(pattern, nullptr, size);
  if (!find && GetLastError() == ERROR_INSUFFICIENT_BUFFER)
    find = FindFirstUrlCacheEntry(pattern, buffer.Resize(size), size);
  if (!find) {
    const DWORD error = GetLastError();
    return error == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : error;
  }

  // A visit that throws still closes the walk: a cache may hold deletions until it is closed.
  struct TCloseOnThrow {
    HANDLE find;
    ~TCloseOnThrow() {
      if (find)
        FindCloseUrlCache(find);
    }
  } closer{find};

  DWORD error = ERROR_SUCCESS;
  bool more = visit(*buffer.Entry());
  buffer.Free();
  int failedFetches = 0;
  while (more) {
    size = 0;
    if (FindNextUrlCacheEntry(find, nullptr, size)) {
      error = ERROR_INVALID_DATA; // a cache that fills no buffer is not one we can walk
      break;
    }
    const DWORD probe = GetLastError();
    if (probe == ERROR_NO_MORE_ITEMS)
      break;
    if (probe != ERROR_INSUFFICIENT_BUFFER) {
      error = probe;
      break;
    }
    if (FindNextUrlCacheEntry(find, buffer.Resize(size), size)) {
      failedFetches = 0;
      more = visit(*buffer.Entry());
    } else if (++failedFetches > kMaxFailedFetches) {
      error = GetLastError();
      break;
    }
    buffer.Free();
  }
  closer.find = 0;
  if (!FindCloseUrlCache(find) && error == ERROR_SUCCESS)
    error = GetLastError();
  return error;
}

} // namespace quillon
