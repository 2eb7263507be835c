// Speed of the SQLite stores on a large Firefox 3 cookie database (200,000 cookies): reading
// through TFirefox3Cookies against the sqlite3 shell running the same SELECT, and deleting
// 100,000 marked cookies.

#include "formats/BrowserCacheSQLite.h"
#include "kit/SQLiteStoreWriter.h"
#include "kit/TempDir.h"
#include "tools/PerfImages.h"
#include "winapi/image/ImageWinApi.h"

#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace quillon;

constexpr int kCookies = 200000; // bench::LargeCookieRows
constexpr char kFolder[] = "C:\\Profile\\";

// The database is written once; the image it lies in is installed for the whole run.
struct TCookieImage {
  TCookieImage() {
    std::filesystem::create_directories(dir.Path() + "/Profile");
    kit::WriteFirefox3Cookies(Database(), bench::LargeCookieRows());
    std::filesystem::copy_file(Database(), Template());
    winapi::image::TImageConfig config;
    config.imageRoot = dir.Path();
    scope = std::make_unique<winapi::TWinApiScope>(
        std::make_shared<winapi::image::TImageWinApi>(config));
  }
  std::string Database() const { return dir.Path() + "/Profile/cookies.sqlite"; }
  std::string Template() const { return dir.Path() + "/template.sqlite"; }

  kit::TTempDir dir;
  std::unique_ptr<winapi::TWinApiScope> scope;
};

TCookieImage& Image() {
  static TCookieImage image;
  return image;
}

void BM_ReadFirefox3Cookies(benchmark::State& state) {
  Image();
  for (auto _ : state) {
    TCacheList list;
    TFirefox3Cookies store(kFolder);
    store.ReadEntries(list);
    if (list.Count() != kCookies)
      state.SkipWithError("wrong number of cookies");
    benchmark::DoNotOptimize(list.Count());
  }
}
BENCHMARK(BM_ReadFirefox3Cookies)->Unit(benchmark::kMillisecond)->UseRealTime();

double ChildCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The shell runs as a child process: its CPU time is reported as the counter shell_cpu_ms, the
// column "CPU" shows only this process.
void BM_Sqlite3ShellSameSelect(benchmark::State& state) {
  if (!std::filesystem::exists("/usr/bin/sqlite3")) {
    state.SkipWithError("no /usr/bin/sqlite3");
    return;
  }
  const std::string command = "/usr/bin/sqlite3 -readonly '" + Image().Database() +
                              "' 'SELECT * FROM moz_cookies' > /dev/null";
  const double cpuBefore = ChildCpuSeconds();
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0)
      state.SkipWithError("sqlite3 failed");
  }
  state.counters["shell_cpu_ms"] = benchmark::Counter((ChildCpuSeconds() - cpuBefore) * 1000 /
                                                      static_cast<double>(state.iterations()));
}
BENCHMARK(BM_Sqlite3ShellSameSelect)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_DeleteMarked100000(benchmark::State& state) {
  TCookieImage& image = Image();
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::copy_file(image.Template(), image.Database(),
                               std::filesystem::copy_options::overwrite_existing);
    TCacheList list;
    TFirefox3Cookies store(kFolder);
    store.ReadEntries(list);
    for (int i = 0; i < list.Count(); i += 2)
      list[i].ToBeDeleted = true;
    state.ResumeTiming();
    if (!store.DeleteMarked(list))
      state.SkipWithError("DeleteMarked failed");
    state.PauseTiming();
    TCacheList rest;
    store.ReadEntries(rest);
    if (rest.Count() != kCookies / 2)
      state.SkipWithError("wrong number of cookies left");
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteMarked100000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

} // namespace
