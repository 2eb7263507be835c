// Sorting and filtering the history list of a long-used profile: a million entries, hosts from a
// few thousand sites, paths and dates that differ per entry. This is what a header click and each
// change of the filter text cost the window.

#include "BenchMemory.h"
#include "discovery/EntryOrder.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

using namespace quillon;

constexpr int kEntries = 1'000'000;

const TCacheList& History() {
  static const TCacheList& list = []() -> const TCacheList& {
    static TCacheList history;
    std::uint32_t seed = 12345;
    auto next = [&seed] {
      seed = seed * 1664525u + 1013904223u;
      return seed >> 8;
    };
    for (int i = 0; i < kEntries; ++i) {
      TCacheItem& item = history.Add();
      item.Host = "http://www.site" + std::to_string(next() % 5000) + ".example.com";
      item.Path =
          "/articles/" + std::to_string(next()) + "/index.html?ref=" + std::to_string(i % 97);
      // Ten years of visits; one in twenty without a date.
      item.LastAccess =
          next() % 20 == 0 ? 0 : 37000.0 + (next() % 3650) + (next() % 86400) / 86400.0;
      item.Expires = item.LastAccess + 30;
    }
    return history;
  }();
  return list;
}

void Run(benchmark::State& state, const TEntryOrder& order) {
  const TCacheList& list = History();
  std::size_t shown = 0;
  for (auto _ : state) {
    const std::vector<int> positions = OrderEntries(ctHistory, list, list.Count(), order);
    shown = positions.size();
    benchmark::DoNotOptimize(positions.data());
  }
  state.counters["shown"] = static_cast<double>(shown);
  state.counters["peak_MB"] = static_cast<double>(bench::PeakGrowth(
                                  [&] { OrderEntries(ctHistory, list, list.Count(), order); })) /
                              (1 << 20);
}

void BM_SortByHost(benchmark::State& state) {
  Run(state, {0, false, {}});
}
void BM_SortByHostDescending(benchmark::State& state) {
  Run(state, {0, true, {}});
}
void BM_SortByLastAccess(benchmark::State& state) {
  Run(state, {1, false, {}});
}
// Matches about one entry in fifty: the host text decides for most rows, the dates are formatted
// for every row that does not match.
void BM_FilterHost(benchmark::State& state) {
  Run(state, {-1, false, "SITE12"});
}
void BM_FilterDate(benchmark::State& state) {
  Run(state, {-1, false, "2005-03"});
}
void BM_FilterAndSortByHost(benchmark::State& state) {
  Run(state, {0, false, "site12"});
}

BENCHMARK(BM_SortByHost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByHostDescending)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortByLastAccess)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterHost)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterAndSortByHost)->Unit(benchmark::kMillisecond);

} // namespace
