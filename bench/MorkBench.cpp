// Parsing speed of the Mork reader on a large generated history.dat (about 100 MB, the size a
// long-used Mozilla profile reaches).

#include "BenchMemory.h"
#include "formats/FFMorkSimple.h"
#include "kit/MorkWriter.h"
#include "kit/TempDir.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

namespace {

using namespace quillon;

constexpr std::size_t kTargetBytes = 100u << 20;

// Written once per run into a temporary folder, read back as the reader would get it.
const std::string& HistoryBytes() {
  static const std::string bytes = [] {
    static kit::TTempDir dir;
    const std::string path = (std::filesystem::path(dir.Path()) / "history.dat").string();
    {
      std::ofstream out(path, std::ios::binary);
      const std::string text = kit::BuildLongUsedHistoryDat(kTargetBytes);
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
    }
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
  }();
  return bytes;
}

void BM_MorkParse(benchmark::State& state) {
  const std::string& bytes = HistoryBytes();
  std::size_t rows = 0;
  for (auto _ : state) {
    TMorkFile mork;
    mork.LoadFromBuffer(bytes);
    rows = mork.RowCount();
    benchmark::DoNotOptimize(rows);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["MB"] = static_cast<double>(bytes.size()) / (1 << 20);
}
BENCHMARK(BM_MorkParse)->Unit(benchmark::kMillisecond)->Iterations(3);

using bench::ProcessMemory;

// The memory a parse and a full read of the rows take at their peak, the file's bytes included,
// as a multiple of the file size.
void BM_MorkPeakMemory(benchmark::State& state) {
  const std::string& bytes = HistoryBytes();
  double ratio = 0;
  for (auto _ : state) {
    std::ofstream("/proc/self/clear_refs") << "5"; // restart the peak at the current size
    const std::size_t before = ProcessMemory("VmRSS:");
    {
      TMorkFile mork;
      mork.LoadFromBuffer(bytes);
      std::size_t total = 0;
      for (std::size_t row = 0; row < mork.RowCount(); ++row)
        total += mork.CellValue("URL", row).size() + mork.CellValue("LastVisitDate", row).size();
      benchmark::DoNotOptimize(total);
    }
    const std::size_t peak = ProcessMemory("VmHWM:");
    ratio = static_cast<double>(peak - before + bytes.size()) / static_cast<double>(bytes.size());
  }
  state.counters["peak_x_file"] = ratio;
}
BENCHMARK(BM_MorkPeakMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

// What the history list does after the parse: four cells of every row.
void BM_MorkHistoryRows(benchmark::State& state) {
  TMorkFile mork;
  mork.LoadFromBuffer(HistoryBytes());
  for (auto _ : state) {
    std::size_t total = 0;
    for (std::size_t row = 0; row < mork.RowCount(); ++row) {
      total += mork.CellValue("URL", row).size();
      total += mork.CellValue("Hostname", row).size();
      total += mork.CellValue("LastVisitDate", row).size();
      total += mork.CellValue("FirstVisitDate", row).size();
    }
    benchmark::DoNotOptimize(total);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * HistoryBytes().size()));
  state.counters["rows"] = static_cast<double>(mork.RowCount());
}
BENCHMARK(BM_MorkHistoryRows)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
