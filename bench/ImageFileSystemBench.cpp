// What the image's path walk costs: every call resolves its path one folder descriptor at a time
// (links are read, never followed by the host), and every change asks whether a browser holds the
// file. Measured where it adds up: a deep profile path asked for many times, and a cache folder
// of many files listed and deleted as a purge does.
#include "kit/TempDir.h"
#include "winapi/image/ImageFileSystem.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using namespace quillon;
using winapi::image::TImageConfig;
using winapi::image::TImageFileSystem;

namespace {

namespace fs = std::filesystem;

constexpr const char* kProfile =
    "Users/alice/AppData/Roaming/Mozilla/Firefox/Profiles/k3x9q2lm.default";
constexpr const char* kWindowsProfile =
    "C:\\Users\\alice\\AppData\\Roaming\\Mozilla\\Firefox\\Profiles\\k3x9q2lm.default\\";

TImageConfig ConfigOf(const kit::TTempDir& dir) {
  TImageConfig config;
  config.imageRoot = dir.Path();
  return config;
}

// GetFileAttributes and a 1 KB read of a store nine folders deep, named in another letter case
// than on disk (every component an exact miss, as Windows paths from a hive often are).
void BM_DeepPathAttributesAndRead(benchmark::State& state) {
  kit::TTempDir dir;
  fs::create_directories(dir.Path() + "/" + kProfile);
  std::ofstream(dir.Path() + "/" + kProfile + "/cookies.txt") << std::string(1024, 'x');
  TImageFileSystem files(ConfigOf(dir));
  const std::string exact = std::string(kWindowsProfile) + "cookies.txt";
  std::string other = exact;
  for (char& c : other)
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::string path = state.range(0) == 0 ? exact : other;
  std::string data;
  for (auto _ : state) {
    benchmark::DoNotOptimize(files.Attributes(path));
    benchmark::DoNotOptimize(files.ReadWhole(path, data));
  }
  state.SetLabel(state.range(0) == 0 ? "exact case" : "other case");
}
BENCHMARK(BM_DeepPathAttributesAndRead)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A cache folder of 20,000 files listed and every file deleted, as a purge of the cache does.
void BM_PurgeCacheFolder(benchmark::State& state) {
  constexpr int kFiles = 20000;
  kit::TTempDir dir;
  const std::string cache = dir.Path() + "/" + kProfile + "/Cache";
  TImageFileSystem files(ConfigOf(dir));
  const std::string folder = std::string(kWindowsProfile) + "Cache\\";
  for (auto _ : state) {
    state.PauseTiming();
    fs::create_directories(cache);
    for (int i = 0; i < kFiles; ++i)
      std::ofstream(cache + "/" + std::to_string(i) + "d01");
    state.ResumeTiming();
    std::vector<std::string> names;
    winapi::WIN32_FIND_DATA data;
    const winapi::HANDLE find = files.FindFirst(folder + "*.*", data);
    if (find != winapi::INVALID_HANDLE_VALUE) {
      do
        if ((data.dwFileAttributes & winapi::FILE_ATTRIBUTE_DIRECTORY) == 0)
          names.push_back(data.cFileName);
      while (files.FindNext(find, data));
      files.FindEnd(find);
    }
    for (const std::string& name : names)
      files.Delete(folder + name);
    if (names.size() != kFiles || !fs::is_empty(cache))
      state.SkipWithError("the folder was not emptied");
  }
  state.SetItemsProcessed(state.iterations() * kFiles);
}
BENCHMARK(BM_PurgeCacheFolder)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
