// The image's URL cache at the size of a long-used profile: listing a Content container of
// 100,000 entries through the façade's walk (the file read and parsed, every entry fetched with
// its size probe) beside msiecfexport listing the same file, and cleaning 50,000 of them with
// their cached files in one walk, as a clean does (the file written once, when the walk closes).

#include "kit/ImageBuilder.h"
#include "kit/IndexDatWriter.h"
#include "kit/TempDir.h"
#include "platform/UrlCacheWalk.h"
#include "winapi/image/ImageWinApi.h"
#include "winapi/image/IndexDat.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;
namespace fs = std::filesystem;

constexpr int kEntries = 100000;
const std::string kContent = "C:\\Users\\alice\\AppData\\Local\\Microsoft\\Windows\\Temporary "
                             "Internet Files\\Content.IE5";

// Short URLs and names keep each record in one block, so 100,000 of them fit one file.
std::string UrlOf(int i) {
  return "http://e/" + std::to_string(i);
}
std::string FileOf(int i) {
  return "f" + std::to_string(i);
}

// alice's image with the large Content container; her image backend installed while it lives.
class TCacheBenchImage {
public:
  TCacheBenchImage() {
    kit::TImageBuilder builder(dir_.Path() + "/c");
    builder.AddUser("alice", "S-1-5-21-1111111111-2222222222-3333333333-1001");
    std::vector<winapi::image::TIndexDatRecord> records(kEntries);
    for (int i = 0; i < kEntries; ++i) {
      auto& r = records[i];
      r.Url = UrlOf(i);
      r.FileName = FileOf(i);
      r.CacheFolder = 0;
      r.EntryType = winapi::NORMAL_CACHE_ENTRY;
      r.FileSize = 4096;
      r.LastAccess = winapi::U64ToFileTime(130000000000000000ull + i);
    }
    index_ = kit::BuildIndexDat({"ABCD1234"}, records);
    builder.AddFile(kContent + "\\index.dat", index_);
    builder.AddFolder(kContent + "\\ABCD1234");
    indexHost_ = builder.HostPathOf(kContent + "\\index.dat");
    builder.Commit();
    winapi::image::TImageConfig config;
    config.imageRoot = dir_.Path() + "/c";
    config.user = "alice";
    scope_ = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }

  const std::string& IndexHost() const { return indexHost_; }
  std::uint64_t IndexSize() const { return index_.size(); }
  // Puts the container back as built.
  void Restore() const { std::ofstream(indexHost_, std::ios::binary | std::ios::trunc) << index_; }

private:
  kit::TTempDir dir_;
  std::string index_, indexHost_;
  std::unique_ptr<winapi::TWinApiScope> scope_;
};

void BM_WalkUrlCache100k(benchmark::State& state) {
  TCacheBenchImage image;
  for (auto _ : state) {
    std::size_t entries = 0;
    const winapi::DWORD result = WalkUrlCache("", [&](const winapi::INTERNET_CACHE_ENTRY_INFOA& e) {
      benchmark::DoNotOptimize(e.lpszLocalFileName);
      return ++entries, true;
    });
    if (result != winapi::ERROR_SUCCESS || entries != kEntries) {
      state.SkipWithError("the walk did not list every entry");
      break;
    }
  }
  state.counters["entries"] = kEntries;
  state.counters["file_MB"] = static_cast<double>(image.IndexSize()) / (1 << 20);
}
BENCHMARK(BM_WalkUrlCache100k)->Unit(benchmark::kMillisecond);

// The independent reader on the same file, its listing thrown away.
void BM_Msiecfexport100k(benchmark::State& state) {
  if (std::system("command -v msiecfexport >/dev/null 2>&1") != 0) {
    state.SkipWithError("msiecfexport is not installed (libmsiecf-utils)");
    return;
  }
  TCacheBenchImage image;
  const std::string command = "msiecfexport '" + image.IndexHost() + "' >/dev/null 2>&1";
  for (auto _ : state)
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("msiecfexport failed");
      break;
    }
}
BENCHMARK(BM_Msiecfexport100k)->Unit(benchmark::kMillisecond);

// Deleting every other entry from within the walk, as a clean does; the walk's close writes the
// file once. The entries' cached files are gone already, as a clean leaves them (it deletes each
// entry's file before the entry): the service's removal of them costs one listing of the cache
// folder. Removing files that are really on disk is the disk's time, not the service's (on a
// disk mounted with online discard about 3 ms a file, whoever removes it).
void BM_Clean50kInAWalk(benchmark::State& state) {
  TCacheBenchImage image;
  for (auto _ : state) {
    state.PauseTiming();
    image.Restore();
    state.ResumeTiming();
    std::size_t seen = 0, deleted = 0;
    const winapi::DWORD result = WalkUrlCache("", [&](const winapi::INTERNET_CACHE_ENTRY_INFOA& e) {
      if (seen++ % 2 == 0 && winapi::DeleteUrlCacheEntry(e.lpszSourceUrlName))
        ++deleted;
      return true;
    });
    if (result != winapi::ERROR_SUCCESS || deleted != kEntries / 2) {
      state.SkipWithError("the clean did not delete every other entry");
      break;
    }
  }
  std::ifstream in(image.IndexHost(), std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (winapi::image::ReadIndexDat(bytes).Records.size() != kEntries / 2)
    state.SkipWithError("the cleaned file does not hold the other half");
  state.counters["deleted"] = kEntries / 2;
}
BENCHMARK(BM_Clean50kInAWalk)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
