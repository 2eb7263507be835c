// Opera's binary files at the size a long-used profile reaches: a cookies4.dat of 100,000
// cookies (10,000 sites of ten cookies, eight-byte times) read, saved unchanged, and cleaned of
// every tenth cookie; a dcache4.url of 100,000 entries read, and cleaned of every tenth entry.
// Peak memory growth while reading is reported beside the times.

#include "BenchMemory.h"
#include "formats/O4Cache.h"
#include "formats/O4Cookie.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

using namespace quillon;

constexpr int kCount = 100'000;
constexpr int kCookiesPerSite = 10;

std::string LargeCookieFile() {
  TO4CookieRoot root;
  root.Format = 1;
  TO4Domain& com = root.AddDomain();
  com.Name = "com";
  for (int site = 0; site < kCount / kCookiesPerSite; ++site) {
    TO4Domain& domain = com.AddDomain();
    domain.Name = "site" + std::to_string(site);
    domain.AddPath("/account");
    for (int i = 0; i < kCookiesPerSite; ++i) {
      TO4Cookie& cookie = domain.AddCookie();
      cookie.Name = "cookie" + std::to_string(i);
      cookie.Value = "value-" + std::to_string((site * kCookiesPerSite + i) * 2654435761u);
      cookie.Expires = 1900000000 + site;
      cookie.LastUsed = 1400000000 + i;
      cookie.Secure = i % 3 == 0;
    }
  }
  return root.SaveToBytes();
}

std::string LargeCacheIndex() {
  TO4CacheRoot root;
  for (int i = 0; i < kCount; ++i) {
    TO4CacheEntry& entry = root.AddEntry();
    entry.Url = "http://site" + std::to_string(i % 5000) + ".example/page/" + std::to_string(i);
    entry.Tag05 = 1400000000 + i;
    entry.Tag09 = "text/html";
    entry.FileName = "opr" + std::to_string(10000 + i) + ".htm";
    entry.HTTPRecord.Tag15 = "Thu, 01 May 2014 13:38:24 GMT";
    entry.HTTPRecord.Expires = 1500000000 + i;
    entry.HTTPRecord.Tag1C = 200;
  }
  return root.SaveToBytes();
}

void BM_O4CookiesLoad(benchmark::State& state) {
  const std::string file = LargeCookieFile();
  for (auto _ : state)
    benchmark::DoNotOptimize(TO4CookieRoot::FromBytes(file)->DomainCount());
  state.counters["MB"] = static_cast<double>(file.size()) / (1 << 20);
  state.counters["peak MB"] = static_cast<double>(bench::PeakGrowth([&] {
                                benchmark::DoNotOptimize(TO4CookieRoot::FromBytes(file).get());
                              })) /
                              (1 << 20);
}
BENCHMARK(BM_O4CookiesLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_O4CookiesSave(benchmark::State& state) {
  const auto root = TO4CookieRoot::FromBytes(LargeCookieFile());
  for (auto _ : state)
    benchmark::DoNotOptimize(root->SaveToBytes().size());
}
BENCHMARK(BM_O4CookiesSave)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_O4CookiesCleanEveryTenth(benchmark::State& state) {
  const std::string file = LargeCookieFile();
  for (auto _ : state) {
    state.PauseTiming();
    const auto root = TO4CookieRoot::FromBytes(file);
    state.ResumeTiming();
    int n = 0;
    for (const auto& domain : root->Domains()[0]->Domains())
      domain->DeleteCookiesIf([&n](const TO4Cookie&) { return n++ % 10 == 0; });
    benchmark::DoNotOptimize(root->SaveToBytes().size());
  }
}
BENCHMARK(BM_O4CookiesCleanEveryTenth)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_O4CacheLoad(benchmark::State& state) {
  const std::string file = LargeCacheIndex();
  for (auto _ : state)
    benchmark::DoNotOptimize(TO4CacheRoot::FromBytes(file)->EntryCount());
  state.counters["MB"] = static_cast<double>(file.size()) / (1 << 20);
  state.counters["peak MB"] = static_cast<double>(bench::PeakGrowth([&] {
                                benchmark::DoNotOptimize(TO4CacheRoot::FromBytes(file).get());
                              })) /
                              (1 << 20);
}
BENCHMARK(BM_O4CacheLoad)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_O4CacheCleanEveryTenth(benchmark::State& state) {
  const std::string file = LargeCacheIndex();
  for (auto _ : state) {
    state.PauseTiming();
    const auto root = TO4CacheRoot::FromBytes(file);
    state.ResumeTiming();
    int n = 0;
    root->DeleteEntriesIf([&n](const TO4CacheEntry&) { return n++ % 10 == 0; });
    benchmark::DoNotOptimize(root->SaveToBytes().size());
  }
}
BENCHMARK(BM_O4CacheCleanEveryTenth)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
