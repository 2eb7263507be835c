// Reading a cookies.txt of 100,000 cookies through the helper, as a refresh does: the lines are
// sorted ignoring case, split into fields and turned into entries. The file is written in a
// shuffled order so that the sort has real work to do.

#include "discovery/BrowserManager.h"
#include "helpers/MozillaHelperRead.h"
#include "kit/MozillaTextStores.h"
#include "kit/TempDir.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr int kCount = 100'000;

void BM_ReadCookiesTxt(benchmark::State& state) {
  std::vector<kit::TCookieTxt> cookies;
  for (int i = 0; i < kCount; ++i) {
    // A multiplicative step scatters the hosts over the file.
    const unsigned n = static_cast<unsigned>(i) * 2654435761u % kCount;
    cookies.push_back({(n % 2 ? ".Site" : ".site") + std::to_string(n) + ".example", true,
                       "/path/" + std::to_string(i), i % 3 == 0, 1900000000 + i,
                       "cookie" + std::to_string(i % 50), "value-" + std::to_string(n)});
  }
  kit::TTempDir dir;
  std::filesystem::create_directories(dir.Path() + "/c/Profile");
  std::ofstream(dir.Path() + "/c/Profile/cookies.txt", std::ios::binary)
      << kit::BuildCookiesTxt(cookies);
  winapi::image::TImageConfig config;
  config.imageRoot = dir.Path() + "/c";
  const winapi::TWinApiScope scope(std::make_shared<winapi::image::TImageWinApi>(config));

  TBrowserProfile profile;
  profile.SetLocation(ctCookies, "C:\\Profile\\cookies.txt");
  for (auto _ : state) {
    profile.GetList(ctCookies).Clear();
    ReadCookiesTxt(profile);
    benchmark::DoNotOptimize(profile.GetList(ctCookies).Count());
  }
  if (profile.GetList(ctCookies).Count() != kCount)
    state.SkipWithError("not every cookie was read");
}
BENCHMARK(BM_ReadCookiesTxt)->Unit(benchmark::kMillisecond);

} // namespace
