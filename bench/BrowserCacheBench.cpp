// Entry lists hold up to millions of entries (a large URL cache), and every clean walks a list
// from its end deleting as it goes. Both must stay fast at that size.

#include "model/BrowserCache.h"

#include <benchmark/benchmark.h>

#include <memory>

using namespace quillon;

namespace {

void FillEntries(TCacheList& list, int count) {
  for (int i = 0; i < count; ++i) {
    TCacheItem& item = list.Add();
    item.Host = "example.com"; // short enough to stay inside the string
    item.Tag = i;
  }
}

void BM_FillOneMillionEntries(benchmark::State& state) {
  constexpr int kCount = 1'000'000;
  for (auto _ : state) {
    auto list = std::make_unique<TCacheList>();
    FillEntries(*list, kCount);
    benchmark::DoNotOptimize(list->Count());
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_FillOneMillionEntries)->Unit(benchmark::kMillisecond);

// A clean that accepts every second entry of a 200,000-entry list.
void BM_DeleteEverySecondFromTheEnd(benchmark::State& state) {
  constexpr int kCount = 200'000;
  for (auto _ : state) {
    state.PauseTiming();
    auto list = std::make_unique<TCacheList>();
    FillEntries(*list, kCount);
    state.ResumeTiming();
    for (int i = list->Count() - 1; i >= 0; --i)
      if (list->Items(i).Tag % 2 == 0)
        list->Delete(i);
    benchmark::DoNotOptimize(list->Count());
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * kCount);
}
BENCHMARK(BM_DeleteEverySecondFromTheEnd)->Unit(benchmark::kMillisecond);

} // namespace
