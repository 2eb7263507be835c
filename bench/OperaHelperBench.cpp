// Listing an Opera cache index of 100,000 entries and a cookie file of 100,000 cookies through
// the Opera helper, as a refresh does: the file is loaded, walked and turned into entries. The
// clean of the cache index accepts every other entry, so that the index is saved with half its
// records and the list loses them from all over.

#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"
#include "helpers/BrowserHelper.h"
#include "helpers/OperaCleaners.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

namespace {

using namespace quillon;

constexpr int kCount = 100'000;

// A small image with C:\Profile and its Cache4 folder.
class TOperaImage {
public:
  TOperaImage() {
    std::filesystem::create_directories(dir_.Path() + "/c/Profile/Cache4");
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }

private:
  kit::TTempDir dir_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

void WriteCacheIndex(const std::string& path) {
  TO4CacheRoot root;
  for (int i = 0; i < kCount; ++i) {
    TO4CacheEntry& entry = root.AddEntry();
    entry.Url = "http://site" + std::to_string(i % 5000) + ".example/page/" + std::to_string(i);
    entry.FileName = "g_" + std::to_string(i % 64) + "\\opr" + std::to_string(i) + ".tmp";
    entry.Tag05 = 1300000000 + static_cast<std::uint32_t>(i);
    entry.HTTPRecord.Expires = 1400000000 + static_cast<std::uint32_t>(i);
  }
  root.SaveToFile(path);
}

void BM_ListOperaCache(benchmark::State& state) {
  const TOperaImage image;
  WriteCacheIndex("C:\\Profile\\Cache4\\dcache4.url");
  TProfileStores profile;
  profile.SetLocation(ctCache, "C:\\Profile\\Cache4\\");
  for (auto _ : state) {
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCache);
    benchmark::DoNotOptimize(profile.GetList(ctCache).Count());
  }
  if (profile.GetList(ctCache).Count() != kCount)
    state.SkipWithError("not every cache entry was listed");
}
BENCHMARK(BM_ListOperaCache)->Unit(benchmark::kMillisecond);

void BM_ListOperaCookies(benchmark::State& state) {
  const TOperaImage image;
  {
    // 1,000 sites under one top-level domain, 100 cookies each.
    TO4CookieRoot root;
    TO4Domain& com = root.AddDomain();
    com.Name = "com";
    for (int site = 0; site < kCount / 100; ++site) {
      TO4Domain& domain = com.AddDomain();
      domain.Name = "site" + std::to_string(site);
      for (int c = 0; c < 100; ++c) {
        TO4Cookie& cookie = domain.AddCookie();
        cookie.Name = "cookie" + std::to_string(c);
        cookie.Value = "value-" + std::to_string(site * 100 + c);
        cookie.Expires = 1900000000;
        cookie.LastUsed = 1300000000;
      }
    }
    root.SaveToFile("C:\\Profile\\cookies4.dat");
  }
  TProfileStores profile;
  profile.SetLocation(ctCookies, "C:\\Profile\\cookies4.dat");
  for (auto _ : state) {
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCookies);
    benchmark::DoNotOptimize(profile.GetList(ctCookies).Count());
  }
  if (profile.GetList(ctCookies).Count() != kCount)
    state.SkipWithError("not every cookie was listed");
}
BENCHMARK(BM_ListOperaCookies)->Unit(benchmark::kMillisecond);

void BM_CleanOperaCacheHalf(benchmark::State& state) {
  const TOperaImage image;
  TProfileStores profile;
  profile.SetLocation(ctCache, "C:\\Profile\\Cache4\\");
  for (auto _ : state) {
    state.PauseTiming();
    WriteCacheIndex("C:\\Profile\\Cache4\\dcache4.url");
    BrowserHelper(THelperKind::Opera).Refresh(profile, {}, ctCache);
    state.ResumeTiming();
    CleanO4CacheIndex(profile, [](TCacheType, TCacheItem* item, std::string offered) {
      return TCleanDecision{item->Index() % 2 == 0, std::move(offered)};
    });
  }
  if (profile.GetList(ctCache).Count() != kCount / 2)
    state.SkipWithError("the clean did not take half of the entries");
}
BENCHMARK(BM_CleanOperaCacheHalf)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
