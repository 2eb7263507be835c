// The Opera viewer's texts and commands on large files: the table order of a cookie tree, and
// `opera-cookies` / `opera-cache` in process with their output thrown away (reading included).

#include "NullBuffer.h"
#include "cli/OperaCommands.h"
#include "formats/O4CookieView.h"
#include "kit/TempDir.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

namespace {

using namespace quillon;

// cookies cookies, ten to a domain, the domains three levels deep below 100 top-level ones.
std::unique_ptr<TO4CookieRoot> CookieTree(int cookies) {
  auto root = std::make_unique<TO4CookieRoot>();
  root->Format = 1;
  std::vector<TO4Domain*> tops;
  for (int t = 0; t < 100; ++t) {
    TO4Domain& top = root->AddDomain();
    top.Name = "tld" + std::to_string(t);
    tops.push_back(&top);
  }
  for (int d = 0; d * 10 < cookies; ++d) {
    TO4Domain& site = tops[static_cast<std::size_t>(d % 100)]->AddDomain();
    site.Name = "site" + std::to_string(d);
    TO4Domain& www = site.AddDomain();
    www.Name = "www";
    www.AddPath("/");
    www.AddPath("/app");
    for (int c = 0; c < 10; ++c) {
      TO4Cookie& cookie = www.AddCookie();
      cookie.Name = "name" + std::to_string(c);
      cookie.Value = std::string(40, 'v');
      cookie.Expires = 1'700'000'000 + static_cast<std::uint64_t>(d);
      cookie.LastUsed = 1'600'000'000;
      cookie.Secure = c % 2 == 0;
    }
  }
  return root;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

void BM_O4CookieRows(benchmark::State& state) {
  const auto root = CookieTree(static_cast<int>(state.range(0)));
  for (auto _ : state)
    benchmark::DoNotOptimize(O4CookieRows(*root));
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_O4CookieRows)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

void BM_OperaCookiesCommand(benchmark::State& state) {
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/cookies4.dat";
  WriteFile(path, CookieTree(static_cast<int>(state.range(0)))->SaveToBytes());
  TNullBuffer sink;
  std::ostream out(&sink), err(&sink);
  for (auto _ : state)
    if (cli::PrintOperaCookies(path, false, out, err) != 0)
      state.SkipWithError("the command failed");
  state.counters["out_MB_per_run"] =
      static_cast<double>(sink.Bytes) / static_cast<double>(state.iterations()) / 1e6;
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OperaCookiesCommand)->Arg(100'000)->Unit(benchmark::kMillisecond);

void BM_OperaCacheCommand(benchmark::State& state) {
  TO4CacheRoot root;
  for (int i = 0; i < state.range(0); ++i) {
    TO4CacheEntry& entry = root.AddEntry();
    entry.Url = "http://site" + std::to_string(i % 1000) + ".example/page/" + std::to_string(i);
    entry.FileName = "opr" + std::to_string(i) + ".tmp";
    entry.HTTPRecord.Tag15 = "text/html";
    entry.HTTPRecord.Expires = 1'700'000'000;
  }
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/dcache4.url";
  WriteFile(path, root.SaveToBytes());
  TNullBuffer sink;
  std::ostream out(&sink), err(&sink);
  for (auto _ : state)
    if (cli::PrintOperaCache(path, false, out, err) != 0)
      state.SkipWithError("the command failed");
  state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_OperaCacheCommand)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace
