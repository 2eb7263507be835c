// The IE cache viewer loads the whole URL cache of a user and sorts it by any column; a million
// entries is a normal cache. Loading and each kind of sort (number, date, text) must stay
// n log n at that size, and the list must stay compact.

#include "BenchMemory.h"
#include "formats/BrowserCacheIE.h"
#include "winapi/UrlCacheEntry.h"
#include "winapi/image/ImageTimeLocale.h"

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace quillon;
using namespace quillon::winapi;

namespace {

constexpr std::uint32_t kEntries = 1'000'000;

// A cache whose entry i is made when it is asked for, so that the benchmark measures the list,
// not a copy of the cache held beside it.
class TGeneratedUrlCache final : public TUrlCacheService {
public:
  explicit TGeneratedUrlCache(std::shared_ptr<TLastError> lastError)
      : lastError_(std::move(lastError)) {}

  THandleValue FindFirst(const std::string&, TUrlCacheEntryInfo* entry,
                         std::uint32_t& size) override {
    next_ = 0;
    return Hand(entry, size) ? THandleValue{1} : THandleValue{0};
  }
  bool FindNext(THandleValue, TUrlCacheEntryInfo* entry, std::uint32_t& size) override {
    if (next_ >= kEntries) {
      lastError_->Set(ERROR_NO_MORE_ITEMS);
      return false;
    }
    return Hand(entry, size);
  }
  bool FindEnd(THandleValue) override { return true; }
  bool DeleteEntry(const std::string&) override { return false; }
  bool UnlockEntryFile(const std::string&) override { return true; }

private:
  bool Hand(TUrlCacheEntryInfo* entry, std::uint32_t& size) {
    const std::uint32_t i = next_;
    // Hosts and paths in an order unlike the walk's, mixed case, as a cache holds them.
    const std::uint32_t mixed = (i * 2654435761u) % kEntries;
    data_.SourceUrl = "http://WWW" + std::to_string(mixed % 997) + ".example.com/assets/" +
                      std::to_string(mixed) + "/picture.gif";
    data_.LocalFile = "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary Internet "
                      "Files\\Content.IE5\\ABCD" +
                      std::to_string(mixed % 4) + "\\picture[" + std::to_string(i % 9) + "].gif";
    data_.Extension = i % 3 == 0 ? "gif" : "htm";
    data_.EntryType = NORMAL_CACHE_ENTRY | (i % 5 == 0 ? COOKIE_CACHE_ENTRY : 0);
    data_.UseCount = mixed % 50;
    data_.HitRate = mixed % 20;
    data_.Size = mixed * 37ull;
    const std::uint64_t base = 133541212520000000ull;
    data_.LastModified = U64ToFileTime(base - mixed * 20000000ull);
    data_.Expire = U64ToFileTime(base + mixed * 20000000ull);
    data_.LastAccess = U64ToFileTime(base - (mixed % 86400) * 10000000ull);
    data_.LastSync = data_.LastAccess;
    if (!FillUrlCacheEntry(data_, entry, size)) {
      lastError_->Set(ERROR_INSUFFICIENT_BUFFER);
      return false;
    }
    ++next_;
    return true;
  }

  std::shared_ptr<TLastError> lastError_;
  TUrlCacheEntryData data_;
  std::uint32_t next_ = 0;
};

struct TCacheScope {
  TCacheScope() : api(std::make_shared<TWinApi>()), scope(api) {
    api->urlCache = std::make_shared<TGeneratedUrlCache>(api->lastError);
    api->timeLocale = std::make_shared<image::TImageTimeLocale>(api->lastError);
  }
  std::shared_ptr<TWinApi> api;
  TWinApiScope scope;
};

void BM_LoadOneMillionEntries(benchmark::State& state) {
  TCacheScope cache;
  std::size_t peak = 0;
  for (auto _ : state) {
    auto list = std::make_unique<TIECacheList>();
    peak = bench::PeakGrowth([&] { list->LoadFromUrlCache(); });
    benchmark::DoNotOptimize(list->Count());
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
  state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LoadOneMillionEntries)->Unit(benchmark::kMillisecond)->Iterations(3);

// One column of each kind: a number, a date, a text.
void BM_SortOneMillionEntries(benchmark::State& state) {
  TCacheScope cache;
  TIECacheList list;
  list.LoadFromUrlCache();
  const int column = static_cast<int>(state.range(0));
  state.SetLabel(std::string(IECacheColumns()[static_cast<std::size_t>(column)].Name));
  for (auto _ : state) {
    state.PauseTiming();
    list.SortByColumn(4); // hits: start from an order unlike the one sorted for
    state.ResumeTiming();
    list.SortByColumn(column);
    benchmark::DoNotOptimize(list.Items(0).Size);
  }
  state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_SortOneMillionEntries)
    ->Arg(2) // type
    ->Arg(8) // last access
    ->Arg(0) // source URL
    ->Arg(1) // local file
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
