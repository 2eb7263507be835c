// Writing the demo image: `make demo-reset` and every integration test pay this.
#include "kit/DemoImage.h"
#include "kit/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

void BM_WriteDemoImage(benchmark::State& state) {
  quillon::kit::TTempDir dir;
  for (auto _ : state)
    quillon::kit::WriteDemoImage(dir.Path() + "/demo");
}
BENCHMARK(BM_WriteDemoImage)->Unit(benchmark::kMillisecond);

} // namespace
