// What the Internet Explorer helper itself costs on a URL cache of 100,000 entries: listing them
// into the three lists, and a clean that asks the rule about each with its list entry (found
// through one index per kind) and removes every other one. The cache is held in memory, so the
// figures leave out reading and rewriting index.dat.

#include "helpers/IEStoreOperations.h"
#include "winapi/UrlCacheEntry.h"
#include "winapi/WinApi.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

namespace {

using namespace quillon;
using namespace quillon::winapi;

constexpr int kCount = 100'000;

// Hands the entries out in order; a deletion only marks the URL.
class TMemoryUrlCache : public TUrlCacheService {
public:
  explicit TMemoryUrlCache(std::shared_ptr<TLastError> lastError)
      : lastError_(std::move(lastError)) {}

  std::vector<TUrlCacheEntryData> Entries;
  std::unordered_set<std::string> Deleted;

  THandleValue FindFirst(const std::string&, TUrlCacheEntryInfo* entry,
                         std::uint32_t& size) override {
    next_ = 0;
    return FindNext(1, entry, size) ? THandleValue{1} : THandleValue{0};
  }
  bool FindNext(THandleValue, TUrlCacheEntryInfo* entry, std::uint32_t& size) override {
    if (next_ >= Entries.size())
      return Fail(ERROR_NO_MORE_ITEMS);
    if (!FillUrlCacheEntry(Entries[next_], entry, size))
      return Fail(ERROR_INSUFFICIENT_BUFFER);
    ++next_;
    return true;
  }
  bool FindEnd(THandleValue) override { return true; }
  bool DeleteEntry(const std::string& url) override { return Deleted.insert(url).second; }
  bool UnlockEntryFile(const std::string&) override { return true; }

private:
  bool Fail(std::uint32_t code) {
    lastError_->Set(code);
    return false;
  }
  std::shared_ptr<TLastError> lastError_;
  std::size_t next_ = 0;
};

struct TCacheFixture {
  TCacheFixture() : api(std::make_shared<TWinApi>()), scope(api) {
    cache = std::make_shared<TMemoryUrlCache>(api->lastError);
    api->urlCache = cache;
    for (int i = 0; i < kCount; ++i) {
      TUrlCacheEntryData e;
      const std::string n = std::to_string(i);
      e.EntryType = i % 3 == 0 ? COOKIE_CACHE_ENTRY
                               : (i % 3 == 1 ? URLHISTORY_CACHE_ENTRY : NORMAL_CACHE_ENTRY);
      e.SourceUrl = i % 3 == 0 ? "Cookie:alice@site" + n + ".example/"
                               : "http://site" + n + ".example/page/" + n + ".html";
      cache->Entries.push_back(std::move(e));
    }
  }
  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
  std::shared_ptr<TMemoryUrlCache> cache;
};

void BM_ListUrlCache(benchmark::State& state) {
  TCacheFixture f;
  TProfileStores profile;
  for (auto _ : state) {
    ListUrlCache(profile);
    benchmark::DoNotOptimize(profile.GetList(ctCache).Count());
  }
  if (profile.GetList(ctCache).Count() + profile.GetList(ctCookies).Count() +
          profile.GetList(ctHistory).Count() !=
      kCount)
    state.SkipWithError("not every entry was listed");
}
BENCHMARK(BM_ListUrlCache)->Unit(benchmark::kMillisecond);

void BM_CleanUrlCacheEveryOther(benchmark::State& state) {
  TCacheFixture f;
  TProfileStores profile;
  ListUrlCache(profile);
  std::size_t listed = 0;
  const TCleanRule rule = [&listed](TCacheType, TCacheItem* item, std::string offered) {
    listed += item != nullptr;
    return TCleanDecision{offered.size() % 2 == 0, std::move(offered)};
  };
  for (auto _ : state) {
    f.cache->Deleted.clear();
    listed = 0;
    CleanUrlCache(profile, kUrlCacheKinds, rule);
  }
  if (listed != kCount || f.cache->Deleted.empty())
    state.SkipWithError("the rule did not see every listed entry");
}
BENCHMARK(BM_CleanUrlCacheEveryOther)->Unit(benchmark::kMillisecond);

} // namespace
