// quillon-cli in process on demo images that hold one large store: discovery with the first read
// of every profile (`profiles`), and `show` of the large list, its output thrown away. Each case
// reports its peak memory as a multiple of the store ("peak_x_store"). scripts/perf.sh takes the
// same figures from the program itself, beside the anchors.

#include "BenchMemory.h"
#include "NullBuffer.h"
#include "cli/Cli.h"
#include "kit/TempDir.h"
#include "tools/PerfImages.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

namespace {

using namespace quillon;

// An image per kind, written on first use and kept for the run.
struct TPerfImage {
  std::string Root;
  std::string Store;
};

const TPerfImage& Image(const std::string& kind) {
  static kit::TTempDir dir;
  static std::map<std::string, TPerfImage> images;
  auto it = images.find(kind);
  if (it == images.end()) {
    const std::string root = dir.Path() + "/" + kind;
    it = images.emplace(kind, TPerfImage{root, bench::WritePerfImage(kind, root)}).first;
  }
  return it->second;
}

void RunCliCase(benchmark::State& state, const std::string& kind,
                std::vector<std::string> arguments) {
  const TPerfImage& image = Image(kind);
  std::vector<std::string> words = {"--image", image.Root};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::size_t peak = 0, written = 0;
  for (auto _ : state) {
    peak = bench::PeakGrowth([&] {
      TNullBuffer buffer;
      std::ostream out(&buffer);
      std::ostringstream err;
      if (cli::RunCli(words, out, err) != 0)
        state.SkipWithError(("quillon-cli failed: " + err.str()).c_str());
      written = buffer.Bytes;
    });
  }
  const double store = static_cast<double>(std::filesystem::file_size(image.Store));
  state.counters["peak_x_store"] = static_cast<double>(peak) / store;
  state.counters["store_MB"] = store / (1 << 20);
  state.counters["output_MB"] = static_cast<double>(written) / (1 << 20);
}

void BM_ProfilesWith200000FirefoxCookies(benchmark::State& state) {
  RunCliCase(state, "cookies", {"profiles"});
}
BENCHMARK(BM_ProfilesWith200000FirefoxCookies)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ProfilesWith600000ChromeVisits(benchmark::State& state) {
  RunCliCase(state, "visits", {"profiles"});
}
BENCHMARK(BM_ProfilesWith600000ChromeVisits)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ShowMorkHistory(benchmark::State& state) {
  RunCliCase(state, "mork", {"show", "1", "history"});
}
BENCHMARK(BM_ShowMorkHistory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

} // namespace
