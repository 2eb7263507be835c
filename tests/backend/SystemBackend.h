#pragma once
// The platform's part of the system under test (SystemFixture.h). The native part includes
// <windows.h>, so this header names nothing of WinApi.h.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon::test {

// One entry for the current user's URL cache. The URL's prefix picks the container, as WinINet
// does: "Cookie:user@host/path" a cookie, "Visited: user@url" a history entry, a plain URL the
// content cache.
struct TUrlCacheSeed {
  std::string Url;
  std::uint32_t EntryType = 1; // NORMAL_CACHE_ENTRY
  std::string FileContent;     // the entry's local file; empty: the entry has none
};

// The platform's part of the system under test; it lives as long as one test.
class TSystemBackend {
public:
  virtual ~TSystemBackend() = default;
  // Commits the entries to the current user's URL cache, each with its local file.
  virtual void AddUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds) = 0;
  // Whether the system is Wine, whose departures from Windows a test may have to pass over.
  virtual bool IsWine() const = 0;
};

// The system of the platform the tests were built for, installed as the running one.
std::unique_ptr<TSystemBackend> MakeSystemBackend();

// The native part's calls of the system itself (UrlCacheNative.cpp, with <windows.h>).
void CommitUrlCacheEntries(const std::vector<TUrlCacheSeed>& seeds);
bool RunsOnWine();

} // namespace quillon::test
