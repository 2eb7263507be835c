// Opera discovery on a user whose "Opera Software" key holds many string values, each naming a
// folder to probe (a hostile hive can hold any number): the step must stay linear in them. The
// image kit's hive writer stops near 9,600 values in one key, which bounds the sizes here.
#include "discovery/BrowserManager.h"
#include "discovery/ProcessSetup.h"
#include "kit/ImageBuilder.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

using namespace quillon;

namespace {

void BM_OperaDiscoveryOfRegistryValues(benchmark::State& state) {
  const auto values = static_cast<int>(state.range(0));
  kit::TTempDir dir;
  {
    kit::TImageBuilder image(dir.Path(), true);
    kit::THiveWriter& user = image.AddUser("alice", "S-1-5-21-1-2-3-1001");
    for (int i = 0; i < values; ++i)
      user.SetString("Software\\Opera Software", "Folder " + std::to_string(i),
                     "C:\\Opera\\Profile" + std::to_string(i));
    image.Commit();
  }
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path();
  config.user = "alice";
  winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));
  TProcessSetup setup;
  for (auto _ : state) {
    const TBrowserManager manager(TFamilyMask{bOpera, bOpera7});
    // The header, one probe per value and per fixed folder, the timing line and the empty line.
    if (manager.DetectionLog().size() < static_cast<std::size_t>(values))
      state.SkipWithError("not every value was probed");
  }
  state.SetItemsProcessed(state.iterations() * values);
}
BENCHMARK(BM_OperaDiscoveryOfRegistryValues)
    ->Arg(2000)
    ->Arg(8000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

} // namespace
