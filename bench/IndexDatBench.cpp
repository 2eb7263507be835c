// The URL-cache index (index.dat) at the size a long-used cache reaches: 100,000 records, one
// block each, as many as the file's allocation bitmap allows. Writing it with the kit, reading it,
// msiecfexport (an independent reader, for comparison) on the same file, and deleting half of it.

#include "kit/IndexDatWriter.h"
#include "kit/TempDir.h"
#include "winapi/image/IndexDat.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace {

using namespace quillon;
using winapi::image::TIndexDatRecord;

constexpr std::size_t kRecords = 100000;
const std::vector<std::string> kFolders = {"ENG3X4ZR", "5ZBG4UOD", "5F9C7HL9", "F4MAMNDH"};

const std::vector<TIndexDatRecord>& Records() {
  static const std::vector<TIndexDatRecord> records = [] {
    std::vector<TIndexDatRecord> out(kRecords);
    for (std::size_t i = 0; i < kRecords; ++i) {
      out[i].Url = "http://h" + std::to_string(i % 10) + "/" + std::to_string(i);
      out[i].FileName = "p" + std::to_string(i);
      out[i].CacheFolder = static_cast<std::uint8_t>(i % kFolders.size());
      out[i].EntryType = 0x41;
      out[i].FileSize = 1000 + i;
      out[i].LastAccess = {static_cast<std::uint32_t>(i), 0x01D0DF25};
    }
    return out;
  }();
  return records;
}

const std::string& FileBytes() {
  static const std::string bytes = kit::BuildIndexDat(kFolders, Records());
  return bytes;
}

void BM_IndexDatBuild(benchmark::State& state) {
  for (auto _ : state)
    benchmark::DoNotOptimize(kit::BuildIndexDat(kFolders, Records()));
  state.counters["MB"] = static_cast<double>(FileBytes().size()) / (1 << 20);
}
BENCHMARK(BM_IndexDatBuild)->Unit(benchmark::kMillisecond);

void BM_IndexDatRead(benchmark::State& state) {
  const std::string& bytes = FileBytes();
  std::size_t records = 0;
  for (auto _ : state) {
    const auto dat = winapi::image::ReadIndexDat(bytes);
    records = dat.Records.size();
    benchmark::DoNotOptimize(records);
  }
  state.counters["records"] = static_cast<double>(records);
}
BENCHMARK(BM_IndexDatRead)->Unit(benchmark::kMillisecond);

// The same file through msiecfexport, its listing thrown away.
void BM_MsiecfExportOfTheSameFile(benchmark::State& state) {
  if (std::system("command -v msiecfexport >/dev/null 2>&1") != 0) {
    state.SkipWithError("msiecfexport is missing (package libmsiecf-utils)");
    return;
  }
  const kit::TTempDir dir;
  const std::string path = dir.Path() + "/index.dat";
  std::ofstream(path, std::ios::binary) << FileBytes();
  for (auto _ : state)
    if (std::system(("msiecfexport '" + path + "' >/dev/null 2>&1").c_str()) != 0)
      state.SkipWithError("msiecfexport failed");
}
BENCHMARK(BM_MsiecfExportOfTheSameFile)->Unit(benchmark::kMillisecond)->Iterations(3);

// Every other record deleted from one buffer, as a clean of half the cache does.
void BM_IndexDatDeleteHalf(benchmark::State& state) {
  const auto dat = winapi::image::ReadIndexDat(FileBytes());
  std::size_t deleted = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::string bytes = FileBytes();
    state.ResumeTiming();
    deleted = 0;
    for (std::size_t i = 0; i < dat.Records.size(); i += 2)
      deleted += winapi::image::DeleteIndexDatRecord(bytes, dat.Records[i]);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.counters["deleted"] = static_cast<double>(deleted);
}
BENCHMARK(BM_IndexDatDeleteHalf)->Unit(benchmark::kMillisecond);

} // namespace
